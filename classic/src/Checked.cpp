#include <veltrane/classic/Checked.h>

namespace veltrane::classic::checked {

void raise(ErrorKind kind, const char* what) {
    throw RuntimeError(kind, what);
}

void raiseNonFinite(double r, const char* what) {
    raise(std::isnan(r) ? ErrorKind::InvalidOperation : ErrorKind::Overflow, what);
}

} // namespace veltrane::classic::checked
