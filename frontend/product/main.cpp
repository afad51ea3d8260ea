// Vantrel: the desktop program's main block. Creates the main window, runs
// the command line (a store to repair at once, -O to open the output folder
// afterwards, -E to end the program afterwards) and the event loop.
#include "AppIcon.h"
#include "BrelStyle.h"
#include "MainFrm.h"

#include <QApplication>

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
    // The running window is matched to its menu entry (vantrel.desktop).
    QGuiApplication::setDesktopFileName(QStringLiteral("vantrel"));
    QApplication::setWindowIcon(GetProgramIcon());
    BrelApplyStyle(app);
    TMainForm form;
    if (form.FormCreate(QApplication::arguments().mid(1)))
        return 0;
    form.show();
    return app.exec();
}
