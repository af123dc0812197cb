#pragma once

#include <optional>
#include <string>

class QWidget;

namespace veltrane::classic {
class Module1;
} // namespace veltrane::classic

namespace veltrane::graph {

// Where the graph window's Save picture command goes: the platform's file dialog and the
// picture written there, exactly as the command line's --plot writes it for the same store
// and Grid state.
class PictureFiles {
public:
    virtual ~PictureFiles() = default;

    // Asks over window for a file, suggesting suggestedName (".png" and the like follow from
    // the type chosen), and writes the picture whole or not at all. Returns nothing when it
    // was written or the user cancelled, otherwise a plain sentence for the user that names
    // the file and the reason.
    virtual std::optional<std::string> save(QWidget& window, classic::Module1& store, bool grid,
                                            const std::string& suggestedName) = 0;
};

} // namespace veltrane::graph
