#pragma once

class QWidget;

namespace veltrane::widgets {

// The shortcuts every window of the program takes, wherever its focus is: Close (Ctrl+W)
// closes this window, as its close button does, and Quit (Ctrl+Q) closes all of them, which
// ends the program with status 0.
void addWindowKeys(QWidget& window);

} // namespace veltrane::widgets
