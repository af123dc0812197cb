#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace veltrane::cli {

// Runs work. When show is set (standard error is a terminal) and the work is still running
// after about half a second, one line on standard error tells how far it is, from done
// against total, and about how long is left ("veltrane: 42% done, about 7 s left"); it is
// cleared when the work ends. Exceptions from work are thrown here.
void withProgress(bool show, std::size_t total, const std::atomic<std::size_t>& done,
                  const std::function<void()>& work);

} // namespace veltrane::cli
