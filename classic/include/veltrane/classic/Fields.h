#pragma once

#include <map>
#include <string>

namespace veltrane::classic {

// The input fields of the main window, named after their labels.
enum class Field { C, C1, C2 };

// "C", "C1" or "C2".
std::string fieldName(Field field);

// Where an analysis reads its field texts: the main window's text boxes, or the words of a
// command line.
class FieldSource {
public:
    virtual ~FieldSource() = default;
    virtual std::string text(Field field) const = 0;
};

// Field texts held as plain values; a field that was never set reads as empty text.
class FieldTexts : public FieldSource {
public:
    FieldTexts() = default;
    FieldTexts(std::initializer_list<std::pair<const Field, std::string>> texts) : m_texts(texts) {}
    void set(Field field, std::string text) { m_texts[field] = std::move(text); }
    std::string text(Field field) const override;

private:
    std::map<Field, std::string> m_texts;
};

} // namespace veltrane::classic
