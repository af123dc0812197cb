#include <veltrane/classic/Fields.h>

namespace veltrane::classic {

std::string fieldName(Field field) {
    switch (field) {
    case Field::C:
        return "C";
    case Field::C1:
        return "C1";
    case Field::C2:
        return "C2";
    }
    return "?";
}

std::string FieldTexts::text(Field field) const {
    const auto it = m_texts.find(field);
    return it == m_texts.end() ? std::string() : it->second;
}

} // namespace veltrane::classic
