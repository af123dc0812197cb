#pragma once

#include <optional>
#include <string>

class QImage;

namespace veltrane::widgets {

// Where the graph window's Print command sends its page.
class Printer {
public:
    virtual ~Printer() = default;

    // Prints page as one sheet. Returns nothing when the page went to the printer, otherwise
    // a plain sentence for the user saying why it did not.
    virtual std::optional<std::string> print(const QImage& page) = 0;
};

} // namespace veltrane::widgets
