#pragma once

// The eigenvalues of a small real upper Hessenberg matrix, by the QR algorithm with Francis's
// implicit double shift (as in EISPACK's hqr): for the Rayleigh–Ritz values of a Krylov
// subspace, a few tens of rows. Each eigenvalue is that of a matrix within a few units of
// rounding of the given one, relative to its norm.
#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

namespace veltrane {

// h: m × m, row-major, zero below the first subdiagonal. Nothing where the iteration does not
// settle within 30 sweeps an eigenvalue (which it does for every matrix but contrived ones).
std::optional<std::vector<std::complex<double>>> hessenbergEigenvalues(std::vector<double> h,
                                                                       std::size_t m);

} // namespace veltrane
