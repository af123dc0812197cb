#include "Hessenberg.h"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

double withSign(double a, double b) {
    return b >= 0.0 ? std::fabs(a) : -std::fabs(a);
}

} // namespace

std::optional<std::vector<std::complex<double>>> hessenbergEigenvalues(std::vector<double> h,
                                                                       std::size_t m) {
    const auto a = [&](std::size_t i, std::size_t j) -> double& { return h[i * m + j]; };
    std::vector<std::complex<double>> values(m);
    double norm = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t j = (i > 0 ? i - 1 : 0); j < m; ++j) {
            norm += std::fabs(a(i, j));
        }
    }
    // nn: the last row not yet split off; indices are signed, as the sweeps step below l.
    long nn = static_cast<long>(m) - 1;
    double t = 0.0;
    const auto at = [&](long i, long j) -> double& {
        return a(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
    };
    while (nn >= 0) {
        int its = 0;
        long l = 0;
        do {
            // A small subdiagonal entry splits the matrix.
            for (l = nn; l >= 1; --l) {
                double s = std::fabs(at(l - 1, l - 1)) + std::fabs(at(l, l));
                if (s == 0.0) {
                    s = norm;
                }
                if (std::fabs(at(l, l - 1)) + s == s) {
                    at(l, l - 1) = 0.0;
                    break;
                }
            }
            double x = at(nn, nn);
            if (l == nn) {
                values[static_cast<std::size_t>(nn)] = {x + t, 0.0};
                --nn;
                continue;
            }
            double y = at(nn - 1, nn - 1);
            double w = at(nn, nn - 1) * at(nn - 1, nn);
            if (l == nn - 1) {
                const double p = 0.5 * (y - x);
                const double q = p * p + w;
                double z = std::sqrt(std::fabs(q));
                x += t;
                if (q >= 0.0) {
                    z = p + withSign(z, p);
                    values[static_cast<std::size_t>(nn - 1)] = {x + z, 0.0};
                    values[static_cast<std::size_t>(nn)] = {z != 0.0 ? x - w / z : x + z, 0.0};
                } else {
                    values[static_cast<std::size_t>(nn - 1)] = {x + p, z};
                    values[static_cast<std::size_t>(nn)] = {x + p, -z};
                }
                nn -= 2;
                continue;
            }
            if (its == 30) {
                return std::nullopt;
            }
            if (its == 10 || its == 20) {
                // An exceptional shift, against cycles.
                t += x;
                for (long i = 0; i <= nn; ++i) {
                    at(i, i) -= x;
                }
                const double s = std::fabs(at(nn, nn - 1)) + std::fabs(at(nn - 1, nn - 2));
                y = x = 0.75 * s;
                w = -0.4375 * s * s;
            }
            ++its;
            long mm = nn - 2;
            double p = 0.0;
            double q = 0.0;
            double r = 0.0;
            double z = 0.0;
            for (; mm >= l; --mm) {
                z = at(mm, mm);
                r = x - z;
                double s = y - z;
                p = (r * s - w) / at(mm + 1, mm) + at(mm, mm + 1);
                q = at(mm + 1, mm + 1) - z - r - s;
                r = at(mm + 2, mm + 1);
                s = std::fabs(p) + std::fabs(q) + std::fabs(r);
                p /= s;
                q /= s;
                r /= s;
                if (mm == l) {
                    break;
                }
                const double u = std::fabs(at(mm, mm - 1)) * (std::fabs(q) + std::fabs(r));
                const double v = std::fabs(p) * (std::fabs(at(mm - 1, mm - 1)) + std::fabs(z) +
                                                 std::fabs(at(mm + 1, mm + 1)));
                if (u + v == v) {
                    break;
                }
            }
            for (long i = mm + 2; i <= nn; ++i) {
                at(i, i - 2) = 0.0;
                if (i != mm + 2) {
                    at(i, i - 3) = 0.0;
                }
            }
            for (long k = mm; k <= nn - 1; ++k) {
                if (k != mm) {
                    p = at(k, k - 1);
                    q = at(k + 1, k - 1);
                    r = k != nn - 1 ? at(k + 2, k - 1) : 0.0;
                    x = std::fabs(p) + std::fabs(q) + std::fabs(r);
                    if (x != 0.0) {
                        p /= x;
                        q /= x;
                        r /= x;
                    }
                }
                const double s = withSign(std::sqrt(p * p + q * q + r * r), p);
                if (s == 0.0) {
                    continue;
                }
                if (k == mm) {
                    if (l != mm) {
                        at(k, k - 1) = -at(k, k - 1);
                    }
                } else {
                    at(k, k - 1) = -s * x;
                }
                p += s;
                x = p / s;
                y = q / s;
                z = r / s;
                q /= p;
                r /= p;
                for (long j = k; j <= nn; ++j) {
                    p = at(k, j) + q * at(k + 1, j);
                    if (k != nn - 1) {
                        p += r * at(k + 2, j);
                        at(k + 2, j) -= p * z;
                    }
                    at(k + 1, j) -= p * y;
                    at(k, j) -= p * x;
                }
                const long last = std::min(nn, k + 3);
                for (long i = l; i <= last; ++i) {
                    p = x * at(i, k) + y * at(i, k + 1);
                    if (k != nn - 1) {
                        p += z * at(i, k + 2);
                        at(i, k + 2) -= p * r;
                    }
                    at(i, k + 1) -= p * q;
                    at(i, k) -= p;
                }
            }
        } while (l < nn - 1);
    }
    return values;
}

} // namespace veltrane
