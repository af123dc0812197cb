#pragma once

// What the commands share beside the public Cli.h: the error of bad usage, the shape of a
// command's parsed words, and the picture a command may draw.
#include "OptionTable.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/cli/Cli.h>
#include <veltrane/errors.h>

namespace veltrane::cli {

// Words that make no command, or a value that an option or a command cannot take: a refused
// input, which ends the command with status 2.
class UsageError : public InputError {
public:
    using InputError::InputError;
};

// The error of words that make no command: the problem, then the usage text.
UsageError usageError(const std::string& problem);

// A command's words as its options, or the problem that makes them none.
template <typename Options> struct Parsed {
    std::optional<Options> options;
    std::string problem; // set when options is empty

    // The options, or usageError(problem).
    Options orRefuse() const {
        if (!options) {
            throw usageError(problem);
        }
        return *options;
    }
};

// The most points a picture holds: the graph window draws from the graph data store.
inline constexpr std::size_t kStorePoints = classic::Module1::kLastPoint + 1;

// The picture --plot FILE, --grid and --dpi ask for, or nothing without --plot, checked before
// any work is done. Throws UsageError for --grid or --dpi without --plot and for more points
// than the graph window draws, InputError for a file whose extension names no picture format.
std::optional<PlotRequest> plotRequest(const std::optional<std::string>& file, bool grid, int dpi,
                                       PlotKind kind, std::size_t points);

// Draws the picture through services.plots, the windows' side of the program; Error where this
// process has none.
void drawPlot(classic::Module1& store, const PlotRequest& request, const Services& services);

// The usage text printed by "veltrane --help", and that of one command, printed by its --help.
std::string usage();
std::string commandUsage(Command command);

} // namespace veltrane::cli
