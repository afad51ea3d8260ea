// BrelWidgetUtils: framework helpers that need widgets (kept apart from
// BrelUtils so the command-line front end does not pull in QtWidgets).
#pragma once

#include <QString>

class QAbstractButton;

// The box's caption unchanged (accelerator "&" included), ": ", then "Yes"
// when checked or "No" when not.
[[nodiscard]] QString CheckBoxStateText(const QAbstractButton* box);
