#pragma once

#include <string>

namespace veltrane::widgets {

// The platform's modal message box with a single OK button; returns once it was closed.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(const std::string& text) = 0;
};

} // namespace veltrane::widgets
