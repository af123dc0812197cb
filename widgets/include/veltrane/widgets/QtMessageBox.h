#pragma once

#include <QPointer>
#include <QWidget>
#include <veltrane/widgets/MessageSink.h>

namespace veltrane::widgets {

// The platform message box for MessageSink: modal, caption "Veltrane", no icon, a single OK
// button. showMessage returns once the user has closed it.
class QtMessageBox : public MessageSink {
public:
    // parent: the window the box is centred on and modal for; none makes it application
    // modal on its own.
    explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}

    void setParent(QWidget* parent) { m_parent = parent; }

    void showMessage(const std::string& text) override;

private:
    QPointer<QWidget> m_parent;
};

inline constexpr const char* kMessageBoxCaption = "Veltrane";

} // namespace veltrane::widgets
