#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvello File Splitter"));
    QLabel window(QStringLiteral("Tarvello File Splitter"));
    window.setWindowTitle(QStringLiteral("Tarvello File Splitter"));
    window.resize(340, 365);
    window.show();
    return app.exec();
}
