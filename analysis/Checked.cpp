#include "Checked.h"

namespace veltrane::checked {

void raise(ErrorKind kind, const char* what) { throw RuntimeError(kind, what); }

} // namespace veltrane::checked
