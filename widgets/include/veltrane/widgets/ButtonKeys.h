#pragma once

class QAbstractButton;

namespace veltrane::widgets {

// Makes Enter and Return on the focused button click it once a press, as Space does: down
// while the key is held, the click at its release, the key's repeats ignored. The button
// does not become a default button: Enter in a text field still presses nothing.
void clickOnEnter(QAbstractButton& button);

} // namespace veltrane::widgets
