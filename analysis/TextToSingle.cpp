#include "TextToSingle.h"

#include "DecimalText.h"

#include <clocale>

namespace veltrane {

DecimalTextToSingle::DecimalTextToSingle(std::string localeSeparator)
    : m_localeSeparator(std::move(localeSeparator)) {}

std::optional<float> DecimalTextToSingle::convert(std::string_view text) const {
    return decimalToSingle(text, m_localeSeparator);
}

bool DecimalTextToSingle::tooLarge(std::string_view text) const {
    return tooLargeForSingle(text, m_localeSeparator);
}

std::string cLocaleDecimalSeparator() {
    const lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || *conv->decimal_point == '\0') {
        return ".";
    }
    return conv->decimal_point;
}

} // namespace veltrane
