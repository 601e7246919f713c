// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/PathShortening.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionFrame>

// A path is taken apart into its root ("/" or nothing), the folders between
// the root and the name, and the name: the file name, or for a folder path
// ending with a separator its last folder with that separator. A path already
// shortened (its first folder "...") is read back the same way, so shortening
// a shortened text that fits leaves it as it is.
QString shortenPath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;

    const QChar sep = QLatin1Char('/');
    const QString ellipsis = QStringLiteral("...");
    QString root;
    QString rest = path;
    if (rest.startsWith(sep)) {
        root = sep;
        rest.remove(0, 1);
    }
    const bool folderPath = rest.endsWith(sep);
    if (folderPath) rest.chop(1);
    QStringList folders = rest.split(sep);
    const QString name = folders.takeLast() + (folderPath ? QString(sep) : QString());
    bool elided = !folders.isEmpty() && folders.first() == ellipsis;
    if (elided) folders.removeFirst();

    const auto compose = [&] {
        QString text = root;
        if (elided) text += ellipsis + sep;
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

namespace {

// Pixels available to the text of a line edit: its contents rectangle as the
// style lays it out, less the text margins and the edit's own two-pixel margin
// on each side.
int textRoom(const QLineEdit* e) {
    QStyleOptionFrame option;
    option.initFrom(e);
    option.rect = e->rect();
    option.lineWidth =
        e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, e) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (e->isReadOnly()) option.state |= QStyle::State_ReadOnly;
    option.features = QStyleOptionFrame::None;
    const QRect contents = e->style()->subElementRect(QStyle::SE_LineEditContents, &option, e);
    return contents.marginsRemoved(e->textMargins()).width() - 4;
}

} // namespace

void showShortenedPath(QLineEdit* field) {
    static bool shortening = false;
    if (shortening) return;
    const QScopedValueRollback<bool> nested(shortening, true);
    const QString full = field->text();
    field->setToolTip(full);
    field->setText(shortenPath(full, field->fontMetrics(), textRoom(field)));
}
