#pragma once

#include <cstdint>
#include <optional>

namespace veltrane::graph {

// An RGB colour, each channel 0 to 255.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The picture-box drawing model the plotting procedures draw through: a current point,
// lines relative to it, and the surface's outer size. Every length is in twips (1/1440 inch)
// as a single; the origin is the top-left corner of the drawing area and y grows downward.
// The window's picBlackboard implements it on screen, a recording fake in the tests.
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    // Erases everything drawn so far to the background colour; the current point goes to
    // the origin.
    virtual void Cls() = 0;

    // Set x, respectively y, of the current point.
    virtual void CurrentX(float x) = 0;
    virtual void CurrentY(float y) = 0;

    // Draws a straight line from the current point to the current point plus (dx, dy), in
    // colour when one is given and in the foreground colour otherwise. The end point becomes
    // the current point.
    virtual void Line(float dx, float dy, std::optional<Rgb> colour = std::nullopt) = 0;

    // Outer width and height of the surface, border included.
    virtual float Width() const = 0;
    virtual float Height() const = 0;

    // x of the drawing area's left edge: 0, as no custom scale is ever set.
    virtual float ScaleLeft() const = 0;
};

} // namespace veltrane::graph
