#include "PreciseCollocation.h"

#include <cmath>
#include <veltrane/errors.h>

namespace veltrane::detail {

namespace {

// Inverse iteration gains the digits of the shift's accuracy at each step: a shift good to
// double precision settles 1000 digits in some dozens. More steps than this mean a shift far
// from the eigenvalue, or a second eigenvalue as near.
constexpr int kMostSteps = 200;

// x (2j + 1) / (2m) as a ball: the argument of the Chebyshev point and weight, in units of π.
Ball halfStep(long j, long m, long prec) {
    Ball t;
    arb_set_si(t.get(), 2 * j + 1);
    arb_div_si(t.get(), t.get(), 2 * m, prec);
    return t;
}

// The midpoint of x, its radius dropped.
void dropRadius(arb_t x) {
    mag_zero(arb_radref(x));
}

// vector / its entry largest in size (sign kept), so that a settled vector stops changing.
void normalise(BallMatrix& vector, long prec) {
    const long m = arb_mat_nrows(vector.get());
    long largest = 0;
    for (long k = 1; k < m; ++k) {
        if (arf_cmpabs(arb_midref(vector.at(k, 0)), arb_midref(vector.at(largest, 0))) > 0) {
            largest = k;
        }
    }
    Ball scale(0.0);
    arb_set(scale.get(), vector.at(largest, 0));
    if (arb_is_zero(scale.get())) {
        throw RuntimeError(ErrorKind::Internal, "inverse iteration lost its vector");
    }
    for (long k = 0; k < m; ++k) {
        arb_div(vector.at(k, 0), vector.at(k, 0), scale.get(), prec);
        dropRadius(vector.at(k, 0));
    }
}

// Whether a and b agree to within 2^-bits in every entry (entries are about 1 in size after
// normalise).
bool agree(const BallMatrix& a, const BallMatrix& b, long bits, long prec) {
    Ball difference;
    for (long k = 0; k < arb_mat_nrows(a.get()); ++k) {
        arb_sub(difference.get(), a.at(k, 0), b.at(k, 0), prec);
        if (arf_cmpabs_2exp_si(arb_midref(difference.get()), -bits) > 0) {
            return false;
        }
    }
    return true;
}

// uᵀ A v for columns u, v.
Ball sandwich(const BallMatrix& u, const BallMatrix& a, const BallMatrix& v, long prec) {
    const long m = arb_mat_nrows(a.get());
    BallMatrix av(m, 1);
    arb_mat_approx_mul(av.get(), a.get(), v.get(), prec);
    Ball sum(0.0);
    for (long k = 0; k < m; ++k) {
        arb_addmul(sum.get(), u.at(k, 0), av.at(k, 0), prec);
    }
    dropRadius(sum.get());
    return sum;
}

} // namespace

PreciseCollocation::PreciseCollocation(const AnalyticBranches& branches, long nodes, long prec)
    : m_nodes(nodes), m_prec(prec), m_branches(branches.formulas.size()) {
    const long m = nodes;
    std::vector<Ball> x(static_cast<std::size_t>(m));
    std::vector<Ball> weight(static_cast<std::size_t>(m));
    const Ball low(branches.low);
    Ball width(branches.high);
    arb_sub(width.get(), width.get(), low.get(), prec);
    for (long k = 0; k < m; ++k) {
        const Ball t = halfStep(k, m, prec);
        Ball& xk = x[static_cast<std::size_t>(k)];
        arb_cos_pi(xk.get(), t.get(), prec);
        arb_add_ui(xk.get(), xk.get(), 1, prec);
        arb_mul_2exp_si(xk.get(), xk.get(), -1);
        arb_mul(xk.get(), xk.get(), width.get(), prec);
        arb_add(xk.get(), xk.get(), low.get(), prec);
        dropRadius(xk.get());
        Ball& wk = weight[static_cast<std::size_t>(k)];
        arb_sin_pi(wk.get(), t.get(), prec);
        if (k % 2 == 1) {
            arb_neg(wk.get(), wk.get());
        }
        dropRadius(wk.get());
    }
    Jet<Ball> psi;
    Ball term;
    Ball sum;
    for (std::size_t i = 0; i < m_branches; ++i) {
        BallMatrix basis(m, m);
        BallMatrix logSlopes(m, 1);
        for (long j = 0; j < m; ++j) {
            branches.formulas[i].at(x[static_cast<std::size_t>(j)], prec, psi);
            arb_abs(psi.slope.get(), psi.slope.get());
            arb_log(logSlopes.at(j, 0), psi.slope.get(), prec);
            dropRadius(logSlopes.at(j, 0));
            dropRadius(psi.value.get());
            // The second barycentric form; a branch taking a point onto a point makes that
            // row the point's basis function, 1 there and 0 elsewhere.
            long onNode = -1;
            arb_zero(sum.get());
            for (long k = 0; k < m && onNode < 0; ++k) {
                arb_sub(term.get(), psi.value.get(), x[static_cast<std::size_t>(k)].get(), prec);
                if (arf_is_zero(arb_midref(term.get()))) {
                    onNode = k;
                    break;
                }
                arb_div(basis.at(j, k), weight[static_cast<std::size_t>(k)].get(), term.get(),
                        prec);
                arb_add(sum.get(), sum.get(), basis.at(j, k), prec);
            }
            for (long k = 0; k < m; ++k) {
                if (onNode >= 0) {
                    arb_set_si(basis.at(j, k), k == onNode ? 1 : 0);
                } else {
                    arb_div(basis.at(j, k), basis.at(j, k), sum.get(), prec);
                    dropRadius(basis.at(j, k));
                }
            }
        }
        m_basis.push_back(std::move(basis));
        m_logSlopes.push_back(std::move(logSlopes));
    }
}

void PreciseCollocation::assemble(const Ball& beta, BallMatrix& matrix, BallMatrix& slope) const {
    const long m = m_nodes;
    arb_mat_zero(matrix.get());
    arb_mat_zero(slope.get());
    Ball weight;
    Ball weightedLog;
    for (std::size_t i = 0; i < m_branches; ++i) {
        for (long j = 0; j < m; ++j) {
            arb_srcptr a = m_logSlopes[i].at(j, 0);
            arb_mul(weight.get(), beta.get(), a, m_prec);
            arb_exp(weight.get(), weight.get(), m_prec);
            dropRadius(weight.get());
            arb_mul(weightedLog.get(), weight.get(), a, m_prec);
            dropRadius(weightedLog.get());
            for (long k = 0; k < m; ++k) {
                arb_addmul(matrix.at(j, k), weight.get(), m_basis[i].at(j, k), m_prec);
                arb_addmul(slope.at(j, k), weightedLog.get(), m_basis[i].at(j, k), m_prec);
            }
        }
    }
    for (long j = 0; j < m; ++j) {
        for (long k = 0; k < m; ++k) {
            dropRadius(matrix.at(j, k));
            dropRadius(slope.at(j, k));
        }
    }
}

void PreciseCollocation::nearest(const BallMatrix& matrix, const Ball& shift, bool transpose,
                                 const std::vector<double>& start, BallMatrix& vector) const {
    const long m = m_nodes;
    BallMatrix shifted(m, m);
    if (transpose) {
        arb_mat_transpose(shifted.get(), matrix.get());
    } else {
        arb_mat_set(shifted.get(), matrix.get());
    }
    for (long k = 0; k < m; ++k) {
        arb_sub(shifted.at(k, k), shifted.at(k, k), shift.get(), m_prec);
        dropRadius(shifted.at(k, k));
    }
    std::vector<slong> permutation(static_cast<std::size_t>(m));
    BallMatrix lu(m, m);
    if (arb_mat_approx_lu(permutation.data(), lu.get(), shifted.get(), m_prec) == 0) {
        // The shift is an eigenvalue to the working precision: its vector is the solution of
        // a singular system, which a slightly moved shift finds as well.
        Ball moved;
        arb_mul_2exp_si(moved.get(), shift.get(), -(m_prec / 2));
        for (long k = 0; k < m; ++k) {
            arb_sub(shifted.at(k, k), shifted.at(k, k), moved.get(), m_prec);
        }
        if (arb_mat_approx_lu(permutation.data(), lu.get(), shifted.get(), m_prec) == 0) {
            throw RuntimeError(ErrorKind::Internal, "inverse iteration found no factorisation");
        }
    }
    for (long k = 0; k < m; ++k) {
        const bool given = start.size() == static_cast<std::size_t>(m);
        arb_set_d(vector.at(k, 0), given ? start[static_cast<std::size_t>(k)] : 1.0);
    }
    normalise(vector, m_prec);
    BallMatrix next(m, 1);
    for (int step = 0; step < kMostSteps; ++step) {
        arb_mat_approx_solve_lu_precomp(next.get(), permutation.data(), lu.get(), vector.get(),
                                        m_prec);
        normalise(next, m_prec);
        const bool settled = agree(next, vector, m_prec - 16, m_prec);
        arb_mat_swap(next.get(), vector.get());
        if (settled) {
            return;
        }
    }
    throw RuntimeError(ErrorKind::Internal, "inverse iteration did not settle");
}

PrecisePressure PreciseCollocation::at(const Ball& beta, double guess, std::vector<double>& right,
                                       std::vector<double>& left) const {
    const long m = m_nodes;
    BallMatrix matrix(m, m);
    BallMatrix slope(m, m);
    assemble(beta, matrix, slope);
    Ball shift(std::exp(guess));
    BallMatrix v(m, 1);
    BallMatrix u(m, 1);
    nearest(matrix, shift, false, right, v);
    nearest(matrix, shift, true, left, u);
    const Ball top = sandwich(u, slope, v, m_prec);
    const Ball bottom = sandwich(u, matrix, v, m_prec);
    Ball plain(0.0);
    for (long k = 0; k < m; ++k) {
        arb_addmul(plain.get(), u.at(k, 0), v.at(k, 0), m_prec);
    }
    PrecisePressure out;
    arb_div(out.pressure.get(), bottom.get(), plain.get(), m_prec);
    if (!arb_is_positive(out.pressure.get())) {
        throw RuntimeError(ErrorKind::Internal,
                           "the transfer operator's leading eigenvalue is not positive");
    }
    arb_log(out.pressure.get(), out.pressure.get(), m_prec);
    arb_div(out.slope.get(), top.get(), bottom.get(), m_prec);
    dropRadius(out.pressure.get());
    dropRadius(out.slope.get());
    right.resize(static_cast<std::size_t>(m));
    left.resize(static_cast<std::size_t>(m));
    for (long k = 0; k < m; ++k) {
        right[static_cast<std::size_t>(k)] = arf_get_d(arb_midref(v.at(k, 0)), ARF_RND_NEAR);
        left[static_cast<std::size_t>(k)] = arf_get_d(arb_midref(u.at(k, 0)), ARF_RND_NEAR);
    }
    return out;
}

} // namespace veltrane::detail
