#include <QLineEdit>
#include <veltrane/ui/LineEditFields.h>

namespace veltrane::ui {
using namespace veltrane::classic;

LineEditFields::LineEditFields(const QLineEdit& c, const QLineEdit& c1, const QLineEdit& c2)
    : m_c(c), m_c1(c1), m_c2(c2) {}

std::string LineEditFields::text(Field field) const {
    switch (field) {
    case Field::C:
        return m_c.text().toStdString();
    case Field::C1:
        return m_c1.text().toStdString();
    case Field::C2:
        return m_c2.text().toStdString();
    }
    return {};
}

} // namespace veltrane::ui
