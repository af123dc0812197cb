#pragma once

#include <functional>
#include <optional>
#include <string>

namespace veltrane::process {

// Reads one environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Whether this build has the windows (VELTRANE_GUI, on unless the build turned it off).
bool windowsBuilt();

// The line that tells the user the windows are not part of this build.
std::string windowsNotBuilt();

// Why the windows cannot be opened, as one line for the user, or nullopt when a display is
// there to try: QT_QPA_PLATFORM names a platform that needs none, or the variable its
// platform needs (DISPLAY for X11, WAYLAND_DISPLAY for Wayland) is set. In a build without
// the windows that is windowsNotBuilt(), whatever the environment.
std::optional<std::string> missingDisplay(const EnvironmentLookup& getenv);

// The same for this process's own environment.
std::optional<std::string> missingDisplay();

} // namespace veltrane::process
