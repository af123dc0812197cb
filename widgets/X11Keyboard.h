#pragma once

#include <functional>

namespace veltrane::widgets {

// On X11: asks the server to send the repeats of a held key as presses alone, without the
// release before each, and returns whether it does; false on other platforms.
bool sendRepeatsAsPressesAlone();

// On X11: whether the key of this keycode is down now, as the server has it; elsewhere
// empty.
std::function<bool(unsigned)> keyDownQuery();

} // namespace veltrane::widgets
