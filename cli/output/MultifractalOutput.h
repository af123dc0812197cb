#pragma once

// The multifractal spectrum and the generalized dimensions of a measure, as CSV or JSON.
#include <cstddef>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>
#include <veltrane/multifractal.h>

namespace veltrane::cli {

// JSON's opening: {"breakPoints":[...],"weights":[...], with the weights normalized to sum 1.
void writeMeasureHead(const std::vector<double>& breakPoints, const std::vector<double>& weights,
                      std::ostream& out);

// The spectrum in three parts, for points written as they are solved: the CSV header
// "index,alpha,f,q,tau" or JSON's "points":[, the points from index first on (any number of
// calls, in order, from 0), and JSON's closing "]}" and line end.
void writeSpectrumHead(bool json, std::ostream& out);
void writeSpectrumRows(std::size_t first, std::span<const MultifractalPoint> points, bool json,
                       std::ostream& out);
void writeSpectrumTail(bool json, std::ostream& out);

// The rows of --dq in the same three parts: the CSV header "q,tau,D_q" or JSON's "dq":[, the
// rows, the closing.
void writeDqHead(bool json, std::ostream& out);
void writeDqRows(std::size_t first, std::span<const DqPoint> rows, bool json, std::ostream& out);
void writeDqTail(bool json, std::ostream& out);

// The rows of --exponents, as those of --dq: the CSV header
// "q,partition_tau,D_q,h,zeta,beta,alpha,f" or JSON's "exponents":[, then the rows; the
// closing is writeDqTail's. partition_tau is τ of Σ_I μ(I)^q ≈ |I|^τ, beta the "tau" column of
// the other tables (exponents.h).
void writeExponentsHead(bool json, std::ostream& out);

// What the rows of a random cascade law's expected exponents follow: the law as it reads back,
// the orders q*- and q*+ where f(α(q)) crosses 0 and q_crit where τ does again; as "# NAME=VALUE"
// lines before the CSV header, or as the fields of the JSON object before its rows (null where
// infinite: q*- is then -infinity, q*+ and q_crit +infinity).
struct RandomHead {
    std::string model;
    double qStarMinus = 0.0;
    double qStarPlus = 0.0;
    double qCrit = 0.0;
};
void writeRandomHead(const RandomHead& head, bool json, std::ostream& out);
void writeExponentsRows(std::size_t first, std::span<const Exponents> rows, bool json,
                        std::ostream& out);

} // namespace veltrane::cli
