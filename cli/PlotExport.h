#pragma once

#include <optional>
#include <string>

namespace veltrane {
class Module1;
}

namespace veltrane::cli {

enum class PictureFormat { Png, Svg, Pdf };

// The picture format named by the file's extension, in any letter case: .png, .svg or .pdf.
std::optional<PictureFormat> pictureFormat(const std::string& file);

// The error text for a file whose extension names no picture format, else nothing.
std::optional<std::string> unknownPictureType(const std::string& file);

struct PlotRequest {
    std::string file;
    bool grid = false; // the Grid box ticked: grid lines instead of ticks
    int dpi = 96;      // resolution of a .png; .svg and .pdf are vector pictures
};

// Draws the graph window's client area exactly as show_spectrum leaves it for the store's
// graphs and writes it to request.file: a .png raster at request.dpi, or a vector .svg or
// .pdf at the window's size (96 pixels an inch). Runs without a display: it forces Qt's
// offscreen platform, creating the application object only when the process has none.
// The picture goes to a temporary file beside the target that replaces it only when
// complete, so a failure leaves no file behind. Returns the error text on failure.
std::optional<std::string> writePlot(Module1& store, const PlotRequest& request);

} // namespace veltrane::cli
