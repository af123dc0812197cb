#include <veltrane/classic/Errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane::classic {

ConversionError::ConversionError(Field field, std::string text, bool tooLarge)
    : InputError((tooLarge ? errorKindName(ErrorKind::Overflow) : std::string("type mismatch")) +
                 ": the text \"" + internal::elided(text) + "\" of field " + fieldName(field) +
                 (tooLarge ? " is too large for a single-precision number" : " is not a number")),
      m_field(field), m_text(std::move(text)) {}

SubscriptError::SubscriptError(const std::string& detail)
    : RuntimeError(ErrorKind::Internal, "subscript out of range", detail) {}

} // namespace veltrane::classic
