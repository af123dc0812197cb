#pragma once

#include <veltrane/widgets/Printer.h>

namespace veltrane::widgets {

// The system's default printer, through Qt's print support (CUPS on Linux), without a
// dialog. The page image is scaled to fit the printable area keeping its aspect ratio, in
// the orientation that suits it, at the top of the page and centred across it.
class SystemPrinter : public Printer {
public:
    std::optional<std::string> print(const QImage& page) override;
};

// The largest rectangle of the image's aspect ratio inside area, at its top, centred across.
// Sizes in any one unit; an empty image gives an empty rectangle.
struct FitRect {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
};
FitRect fitTopCentred(double imageWidth, double imageHeight, double areaWidth, double areaHeight);

} // namespace veltrane::widgets
