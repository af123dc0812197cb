#pragma once

#include <cmath>

namespace veltrane::graph {

inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kStandardDpi = 96.0; // where a pixel is 15 twips

// A rectangle in device-independent pixels.
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Converts between twips (1/1440 inch), the unit of the window layouts and of the drawing
// surface, and device-independent pixels at a logical resolution in dots per inch.
class TwipsScale {
public:
    explicit constexpr TwipsScale(double logicalDpi = kStandardDpi) : m_dpi(logicalDpi) {}

    constexpr double dpi() const { return m_dpi; }
    constexpr double toPixels(double twips) const { return twips * m_dpi / kTwipsPerInch; }
    constexpr double toTwips(double pixels) const { return pixels * kTwipsPerInch / m_dpi; }

    // A control's rectangle given in twips. Each edge is rounded to the nearest pixel on its
    // own, so controls that touch in twips still touch in pixels at any resolution.
    PixelRect rect(int left, int top, int width, int height) const {
        const int l = edge(left);
        const int t = edge(top);
        return {l, t, edge(left + width) - l, edge(top + height) - t};
    }

    int edge(int twips) const { return static_cast<int>(std::lround(toPixels(twips))); }

private:
    double m_dpi;
};

} // namespace veltrane::graph
