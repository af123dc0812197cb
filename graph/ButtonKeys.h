#pragma once

class QAbstractButton;

namespace veltrane {

// Makes Enter and Return on the focused button click it, as Space does, without making it a
// default button: Enter in a text field still presses nothing.
void clickOnEnter(QAbstractButton& button);

} // namespace veltrane
