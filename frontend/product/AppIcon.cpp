#include "AppIcon.h"

QIcon GetProgramIcon() {
    // The resource lives in the product library; a program linking it
    // statically must register it before the first lookup.
    Q_INIT_RESOURCE(vantrelicons);
    QIcon icon;
    for (int size : {32, 64, 128, 256})
        icon.addFile(QStringLiteral(":/vantrel/icons/vantrel-%1.png").arg(size), QSize(size, size));
    return icon;
}
