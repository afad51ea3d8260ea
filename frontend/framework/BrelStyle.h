// BrelStyle: the one look of every window of the program.
//
// The look is a style sheet compiled into the program as resources
// (":/brel/style/brel.qss" and ":/brel/style/looks.qss") over the Fusion style, which draws the same on
// every desktop. The application applies it once, before its first window
// is created; tests and tools that want to see the program as users do call
// the same function.
#pragma once

#include <QString>

class QApplication;

// The whole style sheet: the general rules followed by BrelButtonLooks().
[[nodiscard]] QString BrelStyleSheet();
// Only the "startbutton" and "stopbutton" looks, for windows that carry a
// style sheet of their own (whose rules would otherwise outrank these).
[[nodiscard]] QString BrelButtonLooks();

// Sets the Fusion style and the style sheet on App.
void BrelApplyStyle(QApplication& App);

// Re-applies the style sheet's rules to Widget after a dynamic property that
// a rule selects on (such as "look") has changed.
class QWidget;
void BrelRepolish(QWidget* Widget);
