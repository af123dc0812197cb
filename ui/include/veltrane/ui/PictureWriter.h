#pragma once

#include <veltrane/cli/Pictures.h>

namespace veltrane::ui {

// Draws the command line's pictures with the graph window itself, off screen, and writes them
// whole or not at all. Needs a QApplication.
class PictureWriter : public cli::PlotWriter {
public:
    void write(classic::Module1& store, const cli::PlotRequest& request) override;
};

} // namespace veltrane::ui
