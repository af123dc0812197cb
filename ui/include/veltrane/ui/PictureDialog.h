#pragma once

#include <QString>
#include <veltrane/graph/PictureFiles.h>

namespace veltrane::ui {

// Save picture through Qt's own file dialog, which tells file types by their names alone, so
// that no folder the user names or browses can hold the program up; it offers PNG, SVG and
// PDF in the folder used last. The file is written by the command line's own picture writer,
// so that it is exactly what --plot writes for the same store and Grid state.
class PictureDialog : public graph::PictureFiles {
public:
    std::optional<std::string> save(QWidget& window, classic::Module1& store, bool grid,
                                    const std::string& suggestedName) override;

private:
    QString m_folder; // the folder used last; the working folder at first
};

} // namespace veltrane::ui
