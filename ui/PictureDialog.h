#pragma once

#include "PictureFiles.h"

#include <QString>

namespace veltrane {

// Save picture through the platform's file dialog (Qt's own where the platform has none),
// offering PNG, SVG and PDF in the folder used last, and written by the command line's own
// picture writer, so that the file is exactly what --plot writes for the same store and Grid
// state.
class PictureDialog : public PictureFiles {
public:
    std::optional<std::string> save(QWidget& window, Module1& store, bool grid,
                                    const std::string& suggestedName) override;

private:
    QString m_folder; // the folder used last; the working folder at first
};

} // namespace veltrane
