#pragma once

#include <veltrane/classic/Fields.h>

class QLineEdit;

namespace veltrane::ui {

// The fields of the main window as the analyses read them: each text box's current text as
// UTF-8, read at the moment the analysis asks. The text boxes must outlive this object.
class LineEditFields : public classic::FieldSource {
public:
    LineEditFields(const QLineEdit& c, const QLineEdit& c1, const QLineEdit& c2);
    std::string text(classic::Field field) const override;

private:
    const QLineEdit& m_c;
    const QLineEdit& m_c1;
    const QLineEdit& m_c2;
};

} // namespace veltrane::ui
