#include "RandomInput.h"

#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/InputFiles.h>

namespace veltrane::cli {

namespace {

// A generator list of the most generators, each a line of the longest: the text is held whole.
constexpr std::size_t kLongestList = std::size_t{16} << 20;

} // namespace

RandomWords randomWords(const GivenOptions& given) {
    return {given.text(option::random), given.text(option::randomFrom)};
}

std::optional<RandomModel> randomModelOf(const RandomWords& words, const Services& services) {
    if (words.text) {
        return RandomModel::parse(*words.text);
    }
    if (!words.file) {
        return std::nullopt;
    }
    std::string text;
    try {
        process::readPieces(*words.file, services.input, "generators", [&](std::string_view piece) {
            if (text.size() + piece.size() > kLongestList) {
                throw InputError("longer than " + std::to_string(kLongestList >> 20) + " MiB");
            }
            text += piece;
        });
        return RandomModel::readGenerators(text);
    } catch (const process::FileError&) {
        throw;
    } catch (const BreakPointError& e) {
        throw BreakPointError(process::inputName(*words.file) + ": " + e.what());
    } catch (const WeightError& e) {
        throw WeightError(process::inputName(*words.file) + ": " + e.what());
    } catch (const InputError& e) {
        throw InputError(process::inputName(*words.file) + ": " + e.what());
    }
}

} // namespace veltrane::cli
