#include <cstdlib>
#include <string_view>
#include <veltrane/process/DisplayCheck.h>

namespace veltrane::process {

namespace {

bool isSet(const EnvironmentLookup& getenv, const char* name) {
    const char* value = getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool windowsBuilt() {
    return VELTRANE_WITH_WINDOWS != 0;
}

std::string windowsNotBuilt() {
    return "veltrane: the windows are not part of this build (VELTRANE_GUI=OFF); use \"veltrane "
           "spectrum\" for the command line";
}

std::optional<std::string> missingDisplay(const EnvironmentLookup& getenv) {
    if (!windowsBuilt()) {
        return windowsNotBuilt();
    }
    const bool x11 = isSet(getenv, "DISPLAY");
    const bool wayland = isSet(getenv, "WAYLAND_DISPLAY");
    const char* platformValue = getenv("QT_QPA_PLATFORM");
    const std::string_view platform = platformValue ? platformValue : "";
    // Qt ends the process when the platform it picks finds no display, so look first.
    const char* missing = nullptr;
    if (platform.empty()) {
        missing = x11 || wayland ? nullptr : "neither DISPLAY nor WAYLAND_DISPLAY is set";
    } else if (platform.starts_with("xcb")) {
        missing = x11 ? nullptr : "DISPLAY is not set";
    } else if (platform.starts_with("wayland")) {
        missing = wayland ? nullptr : "WAYLAND_DISPLAY is not set";
    }
    if (missing == nullptr) {
        return std::nullopt;
    }
    return std::string("veltrane: no display to show the windows on (") + missing +
           "); start it in a desktop session, or use \"veltrane spectrum\" for the command line";
}

std::optional<std::string> missingDisplay() {
    return missingDisplay(
        [](const char* variable) -> const char* { return std::getenv(variable); });
}

} // namespace veltrane::process
