#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <veltrane/run.h>

namespace veltrane::process {

// Runs work, on as many threads as given or else one a core, with a RunControl in which it
// counts the items it has done and that Ctrl+C cancels (Interrupt.h). When show is set (standard
// error is a terminal) and the work is still running after about half a second, one line on
// standard error tells how far it is against total, and about how long is left ("veltrane: 42%
// done, about 7 s left"); it is cleared when the work ends. Exceptions from work are thrown here.
void withProgress(bool show, std::optional<int> threads, std::size_t total,
                  const std::function<void(const RunControl&)>& work);

} // namespace veltrane::process
