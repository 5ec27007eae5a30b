// evkit714: the desktop program.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("EVKIT714");
    QMainWindow window;
    window.setWindowTitle("EVKIT714");
    auto* version = new QLabel("Version 3.0.2");
    version->setObjectName("START_VERSION");
    window.setCentralWidget(version);
    window.resize(480, 320);
    window.show();
    return app.exec();
}
