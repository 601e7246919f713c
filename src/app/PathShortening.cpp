#include "app/PathShortening.h"

#include <QFontMetrics>
#include <QStringList>

// A path is taken apart into its root ("/" or nothing), the folders between
// the root and the name, and the name: the file name, or for a folder path
// ending with a separator its last folder with that separator. A path already
// shortened (its first folder "...") is read back the same way, so shortening
// a shortened text that fits leaves it as it is.
QString shortenPath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width)
        return path;

    const QChar sep = QLatin1Char('/');
    const QString ellipsis = QStringLiteral("...");
    QString root;
    QString rest = path;
    if (rest.startsWith(sep)) {
        root = sep;
        rest.remove(0, 1);
    }
    const bool folderPath = rest.endsWith(sep);
    if (folderPath)
        rest.chop(1);
    QStringList folders = rest.split(sep);
    const QString name = folders.takeLast() + (folderPath ? QString(sep) : QString());
    bool elided = !folders.isEmpty() && folders.first() == ellipsis;
    if (elided)
        folders.removeFirst();

    const auto compose = [&] {
        QString text = root;
        if (elided)
            text += ellipsis + sep;
        for (const QString& folder : std::as_const(folders))
            text += folder + sep;
        return text + name;
    };

    QString text = compose();
    while (metrics.horizontalAdvance(text) > width) {
        if (!folders.isEmpty()) {
            folders.removeFirst();
            elided = true;
        } else if (!root.isEmpty()) {
            root.clear();
        } else if (elided) {
            elided = false;
        } else {
            break; // the name alone: never cut
        }
        text = compose();
    }
    return text;
}
