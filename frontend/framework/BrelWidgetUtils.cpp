#include "BrelWidgetUtils.h"

#include <QAbstractButton>

QString CheckBoxStateText(const QAbstractButton* box) {
    return box->text() + QStringLiteral(": ") +
           (box->isChecked() ? QStringLiteral("Yes") : QStringLiteral("No"));
}
