#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vantrel");
    QMainWindow w;
    w.setWindowTitle("Vantrel");
    w.show();
    return app.exec();
}
