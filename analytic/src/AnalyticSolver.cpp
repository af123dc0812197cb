#include "AnalyticModel.h"
#include "DiagramBounds.h"
#include "PreciseCollocation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <veltrane/analytic.h>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane {

using detail::AnalyticModel;
using detail::Ball;
using detail::PreciseCollocation;

namespace {

// Guard digits beyond those asked for in the working precision, and bits beyond those.
constexpr unsigned kGuardDigits = 12;
constexpr long kGuardBits = 32;

// P = ln ρ with ρ found to the working precision relative to itself: a P below 2^-kSmallBits
// in size has lost as many leading bits as it has zeros to ρ's 1 (P = 1e-40 loses 133), beyond
// what the guard digits cover. Its runs are made again with that many bits more, up to
// kMostPrecision times the digits' own precision; a P smaller still is 0 to that precision.
constexpr long kSmallBits = 10;
constexpr long kMostPrecision = 3;

// The exponents whose spread is below this part of their size are one: every invariant
// measure has the same exponent, and the spectrum is a point.
constexpr double kOnePoint = 1e-12;

bool onePoint(const AnalyticModel& model) {
    const detail::OrbitRange& o = model.orbits();
    return o.lambdaMax - o.lambdaMin <= kOnePoint * o.lambdaMax;
}

long precisionFor(unsigned digits) {
    return static_cast<long>(std::ceil((digits + kGuardDigits) * 3.3219280948873623)) + kGuardBits;
}

// β as a ball from its decimal text ("0.5", "-2", "1e-3"), exactly at the working precision.
Ball ballOf(std::string_view text, long prec) {
    const std::string copy(text);
    const bool plain =
        !copy.empty() && copy.find_first_not_of("0123456789.eE+-") == std::string::npos;
    Ball b;
    if (!plain || arb_set_str(b.get(), copy.c_str(), prec) != 0 || !arb_is_finite(b.get())) {
        throw InputError("β \"" + copy + "\" is not a finite decimal number");
    }
    return b;
}

// The value of one run with `nodes` points: P(β), or the zero of P from Newton's steps at the
// working precision started from the double run's zero.
struct PreciseTask {
    const AnalyticModel& model;
    bool root;
    std::string beta; // for P(β)

    Ball run(long nodes, long prec) const {
        const PreciseCollocation operatorAt(model.branches(), nodes, prec);
        std::vector<double> right;
        std::vector<double> left;
        if (!root) {
            const Ball b = ballOf(beta, prec);
            const double guess = model.pressure(b.mid());
            return operatorAt.at(b, guess, right, left).pressure;
        }
        Ball b(model.dimension());
        Ball step;
        for (int k = 0; k < 40; ++k) {
            const detail::PrecisePressure p = operatorAt.at(b, 0.0, right, left);
            arb_div(step.get(), p.pressure.get(), p.slope.get(), prec);
            arb_sub(b.get(), b.get(), step.get(), prec);
            mag_zero(arb_radref(b.get()));
            if (arf_cmpabs_2exp_si(arb_midref(step.get()), -(prec - 24)) < 0) {
                return b;
            }
        }
        throw RuntimeError(ErrorKind::Internal, "Newton's steps to the dimension did not settle");
    }
};

// x > 0 rounded up to one significant digit, as text: "3e-102".
std::string roundedUp(const Ball& x) {
    Ball lg;
    arb_log_base_ui(lg.get(), x.get(), 10, 64);
    auto exponent = static_cast<long>(std::floor(lg.mid()));
    Ball power;
    arb_ui_pow_ui(power.get(), 10, static_cast<ulong>(std::labs(exponent)), 128);
    Ball scaled;
    if (exponent < 0) {
        arb_mul(scaled.get(), x.get(), power.get(), 128);
    } else {
        arb_div(scaled.get(), x.get(), power.get(), 128);
    }
    auto mantissa = std::max(1L, static_cast<long>(std::ceil(scaled.mid() * (1.0 - 1e-12))));
    if (mantissa >= 10) {
        mantissa = 1;
        ++exponent;
    }
    return std::to_string(mantissa) + "e" + std::to_string(exponent);
}

std::string digitsOf(const Ball& x, unsigned digits) {
    char* text = arb_get_str(x.get(), static_cast<slong>(digits), ARB_STR_NO_RADIUS);
    std::string out(text);
    flint_free(text);
    return out;
}

// How many points give how many digits: from the double runs, or for many digits from three
// cheap runs of 8 points apart at 60 digits, whose differences show the rate the collocation
// converges at (geometric, for analytic branches) better than the double runs can. Where the
// three agree to the 60 digits' rounding (linear branches, which any number of points gives
// exactly), the double runs' rate says nothing: a run at the digits asked tells whether the
// points have them already, rather than a thousand points at a digit each.
struct Calibration {
    long nodes = 0;
    double digits = 0.0;
    double digitsPerNode = 0.0;
};

// log10 of the differences of runs at first and first + 8 points from one at first + 16,
// relative to it, at prec; -1000 for no difference.
std::array<double, 2> differences(const PreciseTask& task, long first, long prec) {
    std::array<Ball, 3> v;
    for (std::size_t k = 0; k < v.size(); ++k) {
        v[k] = task.run(first + 8 * static_cast<long>(k), prec);
    }
    const auto log10Of = [&](const Ball& a, const Ball& b) {
        Ball d;
        arb_sub(d.get(), a.get(), b.get(), prec);
        arb_abs(d.get(), d.get());
        // Relative to a value near 1 or above; to 1 below 2^-kSmallBits, where the runs agree
        // to the bits the eigenvalue ρ of P = ln ρ has, not to P's own (a P of 0 has none).
        Ball scale;
        arb_abs(scale.get(), b.get());
        if (arf_cmpabs_2exp_si(arb_midref(scale.get()), -kSmallBits) < 0) {
            arb_one(scale.get());
        }
        arb_div(d.get(), d.get(), scale.get(), prec);
        return arf_is_zero(arb_midref(d.get())) ? -1000.0 : std::log10(d.mid());
    };
    return {log10Of(v[0], v[2]), log10Of(v[1], v[2])};
}

Calibration calibrate(const AnalyticModel& model, const PreciseTask& task, unsigned digits) {
    Calibration c{static_cast<long>(model.nodesFor13Digits()), 13.0, model.digitsPerNode()};
    if (digits <= 40) {
        return c;
    }
    const long first = c.nodes + 8;
    const auto [d0, d1] = differences(task, first, precisionFor(60));
    // Both differences above the 60 digits' rounding: the rate from their ratio.
    if (d0 > -55.0 && d1 > -55.0 && d0 > d1) {
        c.digitsPerNode = std::max(c.digitsPerNode, (d0 - d1) / 8.0);
        c.nodes = first + 8;
        c.digits = -d1;
        return c;
    }
    if (d0 > -55.0 || d1 > -55.0 || digits <= 60) {
        return c;
    }
    // first + 8 points have 55 digits at least: at the digits asked, they have all of them,
    // or a rate above 55 / (first + 8) digits a point.
    const double floor = 5.0 - static_cast<double>(digits);
    const auto [e0, e1] = differences(task, first, precisionFor(digits));
    c.nodes = first + 8;
    if (e0 <= floor && e1 <= floor) {
        c.digits = digits;
    } else if (e1 <= floor) {
        c.digits = -e0;
        c.digitsPerNode = std::max(c.digitsPerNode, -e0 / static_cast<double>(first));
    } else {
        c.digits = -e1;
        c.digitsPerNode = std::max(c.digitsPerNode, (e0 - e1) / 8.0);
    }
    return c;
}

// The bits |x| < 1 has lost to the working precision: its leading binary zeros where there are
// more than kSmallBits of them, else 0; at most `most` (for 0, `most`).
long leadingZeroBits(const Ball& x, long most) {
    const slong below = arf_abs_bound_lt_2exp_si(arb_midref(x.get())); // |x| < 2^below
    if (below >= -kSmallBits) {
        return 0;
    }
    return below < -most ? most : -below;
}

// A P that is 0 to the working precision: "0", no significant digit, and as its error the
// largest of its size, the runs' difference and the precision's floor.
PreciseValue zeroValue(const Ball& a, const Ball& b, long nodes, long prec) {
    Ball error;
    arb_sub(error.get(), b.get(), a.get(), prec);
    arb_abs(error.get(), error.get());
    Ball size;
    arb_abs(size.get(), b.get());
    Ball floor(1.0);
    arb_mul_2exp_si(floor.get(), floor.get(), -(prec - kGuardBits));
    arb_max(error.get(), error.get(), size.get(), prec);
    arb_max(error.get(), error.get(), floor.get(), prec);
    PreciseValue v;
    v.value = "0";
    v.error = roundedUp(error);
    v.digits = 0;
    v.nodes = static_cast<unsigned>(nodes);
    v.bits = static_cast<unsigned>(prec);
    return v;
}

// Runs at m and at more points until they agree to the digits asked for; the value of the
// larger run, the digits the smaller confirms, and their difference as the estimated error.
PreciseValue precise(const AnalyticModel& model, const PreciseTask& task, unsigned digits) {
    if (digits < 1 || digits > AnalyticSolver::kMostDigits) {
        throw InputError("digits must be from 1 to " + std::to_string(AnalyticSolver::kMostDigits) +
                         ", not " + std::to_string(digits));
    }
    const long base = precisionFor(digits);
    const long most = kMostPrecision * base;
    long prec = base;
    const Calibration c = calibrate(model, task, digits);
    const double rate = c.digitsPerNode;
    const auto more = [&](double wanted) {
        return static_cast<long>(std::ceil(std::max(0.0, wanted) / rate));
    };
    long small = c.nodes + more(digits + 4.0 - c.digits);
    long large = small + std::max(8L, more(4.0));
    for (;;) {
        small = std::min<long>(small, AnalyticSolver::kMostNodes);
        large = std::min<long>(large, AnalyticSolver::kMostNodes);
        const Ball a = task.run(small, prec);
        const Ball b = task.run(large, prec);
        const long lost = leadingZeroBits(b, most);
        if (std::min(base + lost, most) > prec) {
            prec = std::min(base + lost, most);
            continue;
        }
        if (base + lost > most) {
            return zeroValue(a, b, large, prec);
        }
        Ball error;
        arb_sub(error.get(), b.get(), a.get(), prec);
        arb_abs(error.get(), error.get());
        // The working precision's own floor, relative to the value: the bits added for its
        // leading zeros keep the digits' precision below its first digit.
        Ball scale;
        arb_abs(scale.get(), b.get());
        Ball floor;
        arb_mul_2exp_si(floor.get(), scale.get(), -(base - kGuardBits));
        if (arb_lt(error.get(), floor.get()) || arf_is_zero(arb_midref(error.get()))) {
            arb_set(error.get(), floor.get());
        }
        // Digits the two runs share: ⌊log10(scale / error)⌋.
        Ball ratio;
        arb_div(ratio.get(), scale.get(), error.get(), 64);
        arb_log_base_ui(ratio.get(), ratio.get(), 10, 64);
        const double shared = std::floor(ratio.mid());
        if (shared >= digits) {
            PreciseValue v;
            v.value = digitsOf(b, digits);
            v.error = roundedUp(error);
            v.digits = digits;
            v.nodes = static_cast<unsigned>(large);
            v.bits = static_cast<unsigned>(prec);
            return v;
        }
        if (large >= AnalyticSolver::kMostNodes) {
            throw InputError("the map converges too slowly for " + std::to_string(digits) +
                             " digits: " + std::to_string(large) + " points give " +
                             std::to_string(std::max(0, static_cast<int>(shared))) +
                             " (a branch nearly parabolic)");
        }
        small = large;
        large = large + std::max(8L, more(digits + 3.0 - shared));
    }
}

} // namespace

AnalyticSolver::AnalyticSolver(const AnalyticMap& map)
    : m_model(std::make_shared<const AnalyticModel>(map.branches())) {}

double AnalyticSolver::pressure(double beta) const {
    if (!std::isfinite(beta)) {
        throw InputError("β must be finite");
    }
    return m_model->pressure(beta);
}

double AnalyticSolver::dimension() const {
    return m_model->dimension();
}
double AnalyticSolver::lambdaMin() const {
    return onePoint(*m_model) ? m_model->orbits().lambdaMin : m_model->range().low.lyapunov;
}
double AnalyticSolver::lambdaMax() const {
    return onePoint(*m_model) ? m_model->orbits().lambdaMin : m_model->range().high.lyapunov;
}
double AnalyticSolver::orbitLambdaMin() const {
    return m_model->orbits().lambdaMin;
}
double AnalyticSolver::orbitLambdaMax() const {
    return m_model->orbits().lambdaMax;
}
bool AnalyticSolver::rangeAtOrbits() const {
    return onePoint(*m_model) || (m_model->range().lowAtOrbit && m_model->range().highAtOrbit);
}
unsigned AnalyticSolver::orbitPeriod() const {
    return m_model->orbits().period;
}

ExactPoint AnalyticSolver::atBeta(double beta) const {
    if (!std::isfinite(beta)) {
        throw InputError("β must be finite");
    }
    detail::Warm warm;
    return m_model->atBeta(beta, warm);
}

ExactPoint AnalyticSolver::atLyapunov(double lambda) const {
    if (std::isnan(lambda)) {
        throw InputError("λ must be a number");
    }
    const double lo = lambdaMin();
    const double hi = lambdaMax();
    DiagramBounds bounds(lo, hi, m_model->topEntropy(), 1);
    if (onePoint(*m_model)) {
        return bounds.point(lo, m_model->topEntropy(), 0.0);
    }
    if (!(lambda > lo)) {
        const ExactPoint& end = m_model->range().low;
        return bounds.point(lo, end.entropy, end.beta);
    }
    if (!(lambda < hi)) {
        const ExactPoint& end = m_model->range().high;
        return bounds.point(hi, end.entropy, end.beta);
    }
    double beta = m_model->dimension();
    detail::Warm warm;
    const ExactPoint p = m_model->atLyapunov(lambda, beta, warm);
    return bounds.point(lambda, p.entropy, p.beta);
}

ExactSpectrum AnalyticSolver::spectrum(std::size_t points, const RunControl& control) const {
    if (points < 2) {
        throw InputError("a spectrum needs at least 2 points");
    }
    const double lo = lambdaMin();
    const double hi = lambdaMax();
    ExactSpectrum out;
    if (onePoint(*m_model)) {
        DiagramBounds bounds(lo, lo, m_model->topEntropy(), 1);
        out.points.push_back(bounds.point(lo, m_model->topEntropy(), 0.0));
        bounds.check(0, out.points);
        return out;
    }
    out.points.resize(points);
    const DiagramBounds limits(lo, hi, m_model->topEntropy(), points);
    const detail::AnalyticModel::Range& ends = m_model->range();
    forEachBlock(points, kSpectrumBlock, control, [&](std::size_t first, std::size_t count) {
        double beta = m_model->dimension();
        detail::Warm warm;
        for (std::size_t i = first; i < first + count; ++i) {
            if (i == 0 || i + 1 == points) {
                const ExactPoint& end = i == 0 ? ends.low : ends.high;
                out.points[i] = limits.point(i == 0 ? lo : hi, end.entropy, end.beta);
                continue;
            }
            const double lambda =
                lo + static_cast<double>(i) * (hi - lo) / static_cast<double>(points - 1);
            const ExactPoint p = m_model->atLyapunov(lambda, beta, warm);
            out.points[i] = limits.point(lambda, p.entropy, p.beta);
        }
    });
    DiagramBounds checked(lo, hi, m_model->topEntropy(), points);
    checked.check(0, out.points);
    return out;
}

PreciseValue AnalyticSolver::pressure(std::string_view beta, unsigned digits) const {
    ballOf(beta, 64);
    return precise(*m_model, {*m_model, false, std::string(beta)}, digits);
}

PreciseValue AnalyticSolver::dimension(unsigned digits) const {
    return precise(*m_model, {*m_model, true, {}}, digits);
}

} // namespace veltrane
