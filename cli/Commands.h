#pragma once

// What the commands share beside the public Cli.h.
#include "CommandError.h"

#include <cstddef>
#include <optional>
#include <string>
#include <veltrane/classic/Module1.h>
#include <veltrane/cli/Cli.h>

namespace veltrane::cli {

// The error of words that make no command: the problem, then the usage text (status 2).
CommandError usageError(const std::string& problem);

// The most points a picture holds: the graph window draws from the graph data store.
inline constexpr std::size_t kStorePoints = classic::Module1::kLastPoint + 1;

// The picture --plot FILE, --grid and --dpi ask for, or nothing without --plot, checked before
// any work is done. Throws CommandError (status 2) for --grid or --dpi without --plot, a file
// whose extension names no picture format, or more points than the graph window draws.
std::optional<PlotRequest> plotRequest(const std::optional<std::string>& file, bool grid, int dpi,
                                       PlotKind kind, std::size_t points);

// Draws the picture through services.plots, the windows' side of the program.
void drawPlot(classic::Module1& store, const PlotRequest& request, const Services& services);

// The usage text printed by "veltrane --help".
std::string usage();

} // namespace veltrane::cli
