// Vantrel: the desktop program's main block.
#include <QApplication>
#include <QMainWindow>

#include "pyxol/pyxol.h"

// The engine is bound when the program loads, never at run time: this
// reference to its entry point keeps libpyxol.so among the program's needed
// libraries even where the linker drops libraries nothing refers to.
static int32_t (*volatile const kEngineEntry)(const RepairParams*) = &RepairSourceFile;

int main(int argc, char* argv[]) {
    if (!kEngineEntry)
        return 1;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("Vantrel"));
    w.show();
    return app.exec();
}
