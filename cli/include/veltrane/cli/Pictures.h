#pragma once

#include <optional>
#include <string>

namespace veltrane::classic {
class Module1;
} // namespace veltrane::classic

namespace veltrane::cli {

enum class PictureFormat { Png, Svg, Pdf };

// The file's extension in lower case, with its dot (".png"), or nothing.
std::string lowerExtension(const std::string& file);

// The picture format the file's extension names, in any letter case: .png, .svg or .pdf.
std::optional<PictureFormat> pictureFormat(const std::string& file);

// The same, or InputError for any other extension, before any work is done.
PictureFormat requirePictureFormat(const std::string& file);

// Which graphs a picture shows, and so what the window's captions say.
enum class PlotKind {
    Spectrum,      // the analyses' spectral diagram, drawn exactly as the graph window draws it
    ExactSpectrum, // the exact spectral diagram, with the same captions
    Multifractal,  // f against alpha of a measure
};

// The window draws no segment for a graph of one point. The exact and multifractal spectra
// of some maps and measures are one point, which their pictures mark instead.
inline bool marksLonePoints(PlotKind kind) {
    return kind != PlotKind::Spectrum;
}

struct PlotRequest {
    std::string file;
    PictureFormat format = PictureFormat::Png;
    bool grid = false; // the Grid box ticked: grid lines instead of ticks
    int dpi = 0;       // resolution of a .png, as --dpi gives it; .svg and .pdf are vector pictures
    PlotKind kind = PlotKind::Spectrum;
};

// Draws the graph window's client area as show_spectrum leaves it for a store into a picture
// file, whole or not at all. The windows' side of the program provides it; it throws FileError
// when the file cannot be made, WriteError for a failed write, RuntimeError for a run-time
// error while drawing.
class PlotWriter {
public:
    virtual ~PlotWriter() = default;
    virtual void write(classic::Module1& store, const PlotRequest& request) = 0;
};

} // namespace veltrane::cli
