#include <clocale>
#include <veltrane/classic/TextToSingle.h>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane::classic {

DecimalTextToSingle::DecimalTextToSingle(std::string localeSeparator)
    : m_localeSeparator(std::move(localeSeparator)) {}

std::optional<float> DecimalTextToSingle::convert(std::string_view text) const {
    return decimalToSingle(text, m_localeSeparator);
}

bool DecimalTextToSingle::tooLarge(std::string_view text) const {
    return internal::tooLargeForSingle(text, m_localeSeparator);
}

} // namespace veltrane::classic
