// Vantrel: the desktop program. Creates the main window, runs the command
// line (a store to repair at once, -O to open the output folder afterwards,
// -E to end the program afterwards) and the event loop.
#include "MainFrm.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    TMainForm form;
    if (form.FormCreate(QApplication::arguments().mid(1)))
        return 0;
    form.show();
    return app.exec();
}
