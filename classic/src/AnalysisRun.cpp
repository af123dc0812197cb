#include "AnalysisRun.h"

#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane::classic {

ConversionError::ConversionError(Field field, std::string text, bool tooLarge)
    : RuntimeError(
          tooLarge ? ErrorKind::Overflow : ErrorKind::Conversion,
          "the text \"" + internal::elided(text) + "\" of field " + fieldName(field) +
              (tooLarge ? " is too large for a single-precision number" : " is not a number")),
      m_field(field), m_text(std::move(text)) {}

namespace detail {

float readSingle(const FieldSource& fields, Field field, const TextToSingle& toSingle) {
    std::string text = fields.text(field);
    const auto value = toSingle.convert(text);
    if (!value) {
        const bool tooLarge = toSingle.tooLarge(text);
        throw ConversionError(field, std::move(text), tooLarge);
    }
    return *value;
}

AnalysisOutcome failure(const RuntimeError& error, std::optional<Field> field, std::string text,
                        std::vector<std::string> messages) {
    AnalysisOutcome outcome;
    outcome.messages = std::move(messages);
    outcome.status = Status::Failed;
    outcome.message = error.what();
    outcome.error = error.kind();
    outcome.detail = error.detail();
    outcome.field = field;
    outcome.fieldText = std::move(text);
    return outcome;
}

} // namespace detail
} // namespace veltrane::classic
