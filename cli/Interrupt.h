#pragma once

namespace veltrane::cli {

// Ends the process at once on Ctrl+C (SIGINT, status 130) and on SIGTERM (143), after removing
// the temporary file an AtomicFile is writing and clearing a progress line, so that an
// interrupted run leaves no partial file and no half line. A signal the process was started
// with ignored, as a shell ignores Ctrl+C for a job in the background, stays ignored.
void installInterruptHandler();

// What the handler must tidy: the temporary file being written (nullptr: none), whose name is
// copied, and whether a progress line stands on standard error.
void setPendingFile(const char* path);
void setProgressShown(bool shown);

} // namespace veltrane::cli
