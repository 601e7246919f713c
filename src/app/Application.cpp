#include "app/Application.h"

#include "app/Skin.h"
#include "app/TForm1.h"

#include <QProxyStyle>

namespace {

// Tooltips (the full paths of the path fields) appear 5 ms after the pointer rests.
class WindowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay)
            return 5;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        TForm1::showError(QString::fromStdString(e.what()));
    } catch (...) {
        TForm1::showError(QStringLiteral("Unknown error"));
    }
    return false;
}

// The artwork is compiled into the window library; a static library's
// resources are registered explicitly.
static void registerArtwork() { Q_INIT_RESOURCE(art); }

void prepareApplication() {
    registerArtwork();
    QApplication::setApplicationName(QStringLiteral("Tarvello File Splitter"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvello File Splitter"));
    QApplication::setDesktopFileName(QStringLiteral("tarvello-file-splitter"));
    QApplication::setStyle(new WindowStyle);
    skin::installFonts();
    QApplication::setFont(skin::windowFont());
}
