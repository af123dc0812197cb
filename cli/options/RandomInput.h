#pragma once

#include "Commands.h"
#include "OptionParser.h"

#include <optional>
#include <string>
#include <veltrane/random.h>

namespace veltrane::cli {

// The words that give a random cascade law: --random MODEL or --random-from FILE ("-":
// standard input), at most one of them (the option table refuses both).
struct RandomWords {
    std::optional<std::string> text;
    std::optional<std::string> file;
    bool given() const { return text || file; }
};

RandomWords randomWords(const GivenOptions& given);

// The law the words give, or nullopt when they give none. Throws InputError for a law that is
// refused (the file's name before the message of a generator list), FileError and ReadError as
// the measure's files do.
std::optional<RandomModel> randomModelOf(const RandomWords& words, const Services& services);

} // namespace veltrane::cli
