#pragma once

class QWidget;

namespace veltrane::widgets {

// Tells screen readers what the program's widgets are where Qt's defaults say otherwise: a
// top-level window made from a plain widget (both of the program's windows) is a window
// (a frame to AT-SPI), not a filler, and the graph window's drawing surface is an image, not
// a frame (markImage). Windows leave out of their accessible children the widgets marked
// decorative. Installed once for the application; call it before the first window is made, as Qt
// keeps the accessible interfaces it has made. Needs a QApplication.
void installAccessibleRoles();

// Keeps widget out of what screen readers are told: it belongs to a drawing, and reading it
// out would only add noise.
void markDecorative(QWidget& widget);

// Tells screen readers that widget shows a picture (the role of an image), whatever its class.
void markImage(QWidget& widget);

} // namespace veltrane::widgets
