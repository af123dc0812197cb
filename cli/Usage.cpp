// The usage texts of --help, their limits and defaults taken from the option table and the
// constants the commands keep to, so that the text and the program cannot tell different tales.
#include "Commands.h"
#include "OptionTable.h"
#include "SpectrumBatch.h"

#include <csignal>
#include <optional>
#include <string>
#include <string_view>
#include <veltrane/analytic.h>
#include <veltrane/maps.h>
#include <veltrane/markov.h>
#include <veltrane/process/ExitStatus.h>

namespace veltrane::cli {
using namespace veltrane::process;

namespace {

// The parts of the usage text. "veltrane --help" prints them all; "veltrane COMMAND --help"
// the synopsis, paragraphs and options of that command, then what every command shares.

std::string synopsisOf(Command command) {
    switch (command) {
    case Command::Spectrum:
        return "  veltrane spectrum C [options]   spectral diagram of the two-branch map\n"
               "  veltrane spectrum C1 C2 [opts]  spectral diagram of the three-branch map\n"
               "  veltrane spectrum --batch FILE  the diagrams of many maps, one a line\n"
               "  veltrane spectrum --exact B_1 ... B_k [opts]\n"
               "                                  exact spectral diagram, any number of branches\n"
               "  veltrane spectrum C1 C2 --compare\n"
               "                                  the analysis's points beside the exact ones\n";
    case Command::Multifractal:
        return "  veltrane multifractal B_1 ... B_k --weights p_1 ... p_n [opts]\n"
               "                                  multifractal spectrum of a Bernoulli measure\n";
    case Command::Cascade:
        return "  veltrane cascade B_1 ... B_k --weights p_1 ... p_n --bins N|--levels M\n"
               "                                  that measure as data\n"
               "  veltrane cascade B_1 ... B_k --weights p_1 ... p_n --cdf x_1 ... x_m\n"
               "                                  its distribution function at the points\n"
               "  veltrane cascade --random MODEL --seed S --bins N\n"
               "                                  a realization of a random cascade\n"
               "  veltrane cascade --markov FILE --weights-from WEIGHTS --bins N|--levels M\n"
               "                                  the bins or cells of a Markov measure\n";
    case Command::Markov:
        return "  veltrane markov FILE|- [opts]   exact spectral diagram of a Markov map\n";
    case Command::Partition:
        return "  veltrane partition B_1 ... B_k --weights p_1 ... p_n --bins N,...\n"
               "          --q FROM:TO:STEP        its partition sums at those resolutions\n";
    case Command::Analytic:
        return "  veltrane analytic --branch F ... [opts]\n"
               "                                  spectrum of a map with analytic branches\n"
               "  veltrane analytic --continued-fraction A,... --dimension [--digits D]\n"
               "                                  its dimension, or --beta B its pressure\n";
    }
    return {};
}

constexpr std::string_view kFieldsParagraph =
    "The values are taken exactly as typed into the fields: \"-0.3\" is a value,\n"
    "not an option. Output is CSV (index,lyapunov,entropy,dimension). Numbers are\n"
    "written with \".\" and read with \".\" or the decimal separator of the locale.\n"
    "\n";

std::string batchParagraph() {
    return "Many maps: --batch FILE (\"-\": standard input) reads one map a line, C or\n"
           "C1 C2 separated by blanks (\"#\" starts a comment), and prints one CSV with a\n"
           "leading map column, the map's line number, or with --json one array. A line\n"
           "that is refused (control bytes, more than " +
           std::to_string(kLongestBatchLine) +
           " bytes, not a map) or fails is\n"
           "reported on standard error with its number, and the other lines go on;\n"
           "standard output is always a whole CSV or a whole JSON array.\n"
           "\n";
}

std::string exactParagraph() {
    return "Exact spectrum: --exact takes the break points 0 < B_1 < ... < B_k < 1 of a map\n"
           "with k + 1 branches and prints N evenly spaced exponents from the smallest\n"
           "branch exponent to the largest (the first and last exactly those), computed in\n"
           "double precision and printed as the shortest text that reads back the same.\n"
           "Branches of equal length everywhere give one point. --from FILE reads the break\n"
           "points from FILE (\"-\": standard input), at most " +
           std::to_string(kMostBreakPoints) +
           " numbers separated by\n"
           "blanks or line ends. The points are shared out over the machine's cores; on a\n"
           "terminal a long run shows how far it is on standard error. --plot draws the\n"
           "exact curves as the graph window would, for at most " +
           std::to_string(kStorePoints) +
           " points.\n"
           "\n";
}

constexpr std::string_view kMultifractalParagraph =
    "Multifractal spectrum: the weights p_1 ... p_n (normalized to sum 1) on the\n"
    "n = k + 1 branches of lengths l_i make a Bernoulli measure. Printed are N\n"
    "points evenly spaced in the local dimension alpha, as CSV index,alpha,f,q,tau,\n"
    "where this tau is the beta(q) of sum p_i^q l_i^beta = 1 and f = beta + q alpha;\n"
    "q and tau are infinite at the ends (inf in CSV, null in JSON). --dq FROM:TO:STEP\n"
    "prints q,tau,D_q instead, D_q = tau(q) / (1 - q), tau again beta. --exponents\n"
    "FROM:TO:STEP prints the conventions by name: q,partition_tau,D_q,h,zeta,beta,\n"
    "alpha,f, where partition_tau is the tau(q) of the estimators (sum over boxes I\n"
    "of mu(I)^q ~ |I|^tau, tau = (q - 1) D_q = -beta, tau(0) = -1), h = (tau + 1) / q\n"
    "the generalized Hurst exponent of the series of bin masses (MFDFA; alpha(0) at\n"
    "q = 0), zeta = tau + 1 the structure-function exponent of F(x) = mu([0, x]),\n"
    "alpha = tau'(q) and f = q alpha - tau. --from and --weights-from read the\n"
    "numbers from files. --plot draws f against alpha in the graph window's style.\n"
    "Example, the two-scale cascade on pieces of 1/3 and 2/3 with equal weights:\n"
    "  veltrane multifractal 0.3333333333333333 --weights 1 1 --points 11\n"
    "Random cascades: --random MODEL (or --random-from FILE, a generator a line,\n"
    "PROBABILITY | BREAKS | WEIGHTS) with --exponents prints the same columns for\n"
    "the expected spectrum, tau(q) = -log_b E sum W_i^q, after the lines\n"
    "\"# model=\", \"# q_star_minus=\", \"# q_star_plus=\" (where f crosses 0) and\n"
    "\"# q_crit=\" (where tau is 0 again, inf for conservative laws); in JSON the\n"
    "fields model, q_star_minus, q_star_plus, q_crit (null where infinite).\n"
    "  veltrane multifractal --random lognormal:b=2,sigma2=0.2 --exponents -2:4:1\n"
    "\n";

std::string cascadeParagraph() {
    const std::string mostBins = "2^" + std::to_string(kMostLevels);
    return "Cascade: the same measure's masses of N equal bins (--bins N, up to " + mostBins +
           "),\n"
           "as CSV bin,left,right,mass, or of the n^M cells of level M in order\n"
           "(--levels M, n^M up to " +
           mostBins +
           "), as CSV cell,left,width,mass; --output FILE writes\n"
           ".csv, .npy (NumPy, the masses) or .f64 (raw little-endian doubles) by its\n"
           "extension, 8 bytes a value, as they are computed. Each mass is exact to about\n"
           "1e-12 relative to itself, however small. The limit keeps that with a margin:\n"
           "a bin end is placed with 106 bits, within about N 2^-100 of a bin, and the\n"
           "mass so misplaced grows with N.\n"
           "--cdf x_1 ... x_m (or --cdf-from FILE) prints x,cdf,survival: F(x), the mass\n"
           "of [0,x], and 1 - F(x), that of [x,1], each a sum of positive terms, so that F\n"
           "keeps its relative precision near 0 and 1 - F near 1; x must be in [0,1].\n"
           "--random MODEL (or --random-from FILE) --seed S --bins N writes realization R\n"
           "(--realization R, default 0) of seed S of a random cascade law in the same\n"
           "forms: every cell's weights are drawn from S, R and the cell's level and index\n"
           "alone (Philox-4x64), so any run gives the same bits. N = b^M bins of a b-adic\n"
           "law are its level-M cells, products of M weights; a canonical law (lognormal,\n"
           "twovalued) is the cascade stopped at the least level M with b^M >= N.\n"
           "\n";
}

constexpr std::string_view kPartitionParagraph =
    "Partition sums: ln Z_q(N), Z_q(N) = sum over k of mu([k/N, (k+1)/N])^q, summed\n"
    "exactly from the cascade's N bins (--bins N_1,N_2,..., each up to 2^40) for q\n"
    "from FROM to TO by STEP (--q), as CSV n,q,log_z,tau_apparent: a row for each N\n"
    "(ascending) and q; log_z is the natural log ln Z_q(N), within about 2^-52\n"
    "|q ln mu| of the sum of the bins' own powers; tau_apparent is what a\n"
    "box-counting estimator finds between this N and the one before,\n"
    "-(ln Z_q(N) - ln Z_q(N_prev)) / (ln N - ln N_prev), tending to\n"
    "tau(q) = (q - 1) D_q (empty on the rows of the smallest N, null in JSON). A bin\n"
    "whose mass is below the doubles stops a q <= 0 with an overflow. Before\n"
    "printing, Z_0 = N, Z_1 = 1 and convexity in q are checked.\n"
    "\n";

std::string markovParagraph() {
    return "Markov maps: markov FILE (\"-\": standard input) reads a piecewise-linear\n"
           "Markov map, one piece a line, \"left right image_left image_right\" (\"#\"\n"
           "starts a comment): [left,right] maps linearly onto the segment from image_left\n"
           "to image_right, decreasing when image_left > image_right. The pieces tile [0,1]\n"
           "in order, each image end is an end of a piece, each slope s_i has |s_i| > 1\n"
           "and every piece can be reached from every other. The golden-mean map:\n"
           "  0 0.6 0 1\n"
           "  0.6 1 0 0.6\n"
           "and a map of three pieces, the middle one decreasing:\n"
           "  0 0.25 0 1\n"
           "  0.25 0.5 1 0.25\n"
           "  0.5 1 0 1\n"
           "With A_ij = 1 where piece i covers piece j, the pressure is\n"
           "P(beta) = ln rho(M_beta), (M_beta)_ij = A_ij |s_i|^-beta, and at the Lyapunov\n"
           "exponent lambda the entropy is h = min over beta of P(beta) + beta lambda and\n"
           "the dimension h / lambda. N points (--points) as spectrum --exact prints them,\n"
           "evenly spaced from the smallest mean of ln|s_i| over the cycles of pieces to\n"
           "the largest; at those ends h is the entropy of the cycles attaining them (0 for\n"
           "a single cycle). A map whose every piece covers [0,1] gives spectrum --exact's\n"
           "points for its break points. --weights-from WEIGHTS reads a Markov measure\n"
           "instead: a line a piece, the weights of its moves to the pieces its image\n"
           "covers, left to right (normalized a line), and prints its multifractal\n"
           "spectrum as multifractal does (--points, --dq, --exponents, --plot), with\n"
           "tau(q) the root of rho(A_ij P_ij^q |s_i|^tau) = 1. cascade --markov FILE\n"
           "--weights-from WEIGHTS --bins N writes that measure's N bins as cascade does,\n"
           "the cylinder [i_0 ... i_m] of mass pi_i0 P_i0i1 ... P_i(m-1)im (pi the\n"
           "stationary law of P), for maps of at most 2048 pieces; --levels M instead\n"
           "writes the cells of level M, the cylinders of M + 1 pieces (1^T A^M 1 of\n"
           "them, at most 2^40), in order of position, as cell,left,width,mass.\n"
           "At most " +
           std::to_string(kMostPieces) +
           " pieces, lines of 4096 bytes.\n"
           "\n";
}

std::string analyticParagraph() {
    return "Analytic maps: analytic reads a full-branch expanding map of [0,1] by its\n"
           "inverse branches psi_i, formulas in x (--branch F once for each, --from FILE\n"
           "a formula a line, \"#\" starting a comment, or --continued-fraction A,... for\n"
           "1/(a+x) of each digit a): numbers, x, pi, e, + - * / ^, parentheses, exp,\n"
           "log, sqrt, sin, cos, tan, atan, sinh and cosh. Each psi_i must be defined on\n"
           "[0,1], map it into itself, have psi_i' of one sign and contract (|psi_i'| < 1,\n"
           "or where it reaches 1, as 1/(1+x) at 0, every psi_k after psi_i contracts);\n"
           "the images meet at most at their ends. Each is proven with ball arithmetic\n"
           "over [0,1], and a map that fails is refused with the branch and the bounds;\n"
           "ends equal to 2^-1900 at 2000 bits are taken as shared. The pressure is\n"
           "P(beta) = ln rho(L_beta), L_beta f = sum_i |psi_i'|^beta f o psi_i, the\n"
           "dimension its zero; the spectrum as spectrum --exact prints it, N points\n"
           "(--points) from the smallest Lyapunov exponent of the periodic orbits to the\n"
           "largest, or to the farthest the collocation resolves where a branch is nearly\n"
           "parabolic. --beta B prints P(B), --dimension the dimension (CSV with a header,\n"
           "or JSON), each in double precision or with --digits D to D significant\n"
           "digits, confirmed by a run with more nodes, with the error estimated. At most\n" +
           std::to_string(AnalyticMap::kMostBranches) + " branches of " +
           std::to_string(AnalyticMap::kLongestFormula) +
           " characters.\n"
           "\n";
}

constexpr std::string_view kComparisonParagraph =
    "Comparison: C --compare or C1 C2 --compare prints each point the analysis\n"
    "stores beside the exact values at the same exponent, as CSV with the header\n"
    "index,lyapunov,entropy,dimension,exact_entropy,exact_dimension,\n"
    "entropy_difference,dimension_difference (differences are exact minus stored)\n"
    "and the last line \"# largest entropy difference: V at index J; largest\n"
    "dimension difference: V at index J\" (largest in magnitude, with its sign).\n"
    "\n";

constexpr std::string_view kFilesParagraph =
    "Files: a picture or file is written to a hidden temporary file beside it,\n"
    "which takes its place whole; a run that fails or is ended by a signal leaves\n"
    "nothing behind. A file replaced keeps its mode, and its owner and group where\n"
    "allowed; a new one gets 0666 less the umask; a symbolic link is written\n"
    "through, to its target. A file with other hard links is copied over in place\n"
    "once complete, so that every link sees the new data: that last copy is not\n"
    "atomic, and a failure during it is reported as leaving the file in part.\n"
    "\n";

std::string exitParagraph() {
    const auto status = [](int value) { return std::to_string(value); };
    return "Exit status: " + status(kExitOk) + " done; " + status(kExitFailure) +
           " the windows cannot be shown (no display); " + status(kExitUsage) +
           " bad usage,\n"
           "a refused value or input, a text that is not a number, standard input closed;\n" +
           status(kExitRunTime) +
           " any other run-time error, or a failed write (\"veltrane: write error: ...\");\n" +
           status(exitStatusOfSignal(SIGHUP)) + " hung up (SIGHUP), " + status(kExitInterrupted) +
           " interrupted (Ctrl+C), " + status(exitStatusOfSignal(SIGTERM)) +
           " terminated (SIGTERM), and\n"
           "128 + N for any other signal N that ends a run.\n"
           "With --batch: " +
           status(kExitRunTime) + " if a line failed with a run-time error, else " +
           status(kExitUsage) + " if a line was\nrefused, else " + status(kExitOk) + ".\n";
}

// The head of the option list; --branch, the one option given again and again, is named
// where it is listed.
std::string optionsHead(std::optional<Command> command) {
    const bool repeatable = !command || option::branch.commands.contain(*command);
    return repeatable ? "Options, each given at most once (a repeated option is refused) but\n"
                        "--branch:\n"
                      : "Options, each given at most once (a repeated option is refused):\n";
}

std::string paragraphsOf(Command command) {
    switch (command) {
    case Command::Spectrum:
        return std::string(kFieldsParagraph) + batchParagraph() + exactParagraph() +
               std::string(kComparisonParagraph);
    case Command::Multifractal:
        return std::string(kMultifractalParagraph);
    case Command::Cascade:
        return cascadeParagraph();
    case Command::Markov:
        return markovParagraph();
    case Command::Partition:
        return std::string(kPartitionParagraph);
    case Command::Analytic:
        return analyticParagraph();
    }
    return {};
}

// What follows the options in every usage text.
std::string closingParagraphs() {
    return "\n" + std::string(kFilesParagraph) + exitParagraph();
}

} // namespace

std::string commandUsage(Command command) {
    return "Usage:\n" + synopsisOf(command) + "\n" + paragraphsOf(command) + optionsHead(command) +
           optionList(command) + closingParagraphs();
}

std::string usage() {
    std::string text = "Usage:\n"
                       "  veltrane                        start the program's windows\n";
    for (const CommandWord& word : kCommandWords) {
        text += synopsisOf(word.command);
    }
    text += "  veltrane --help                 this text\n"
            "  veltrane --version              the version number\n"
            "\n";
    text += std::string(kFieldsParagraph) + batchParagraph() + exactParagraph() +
            std::string(kMultifractalParagraph) + cascadeParagraph() + markovParagraph() +
            std::string(kPartitionParagraph) + analyticParagraph() +
            std::string(kComparisonParagraph);
    return text + optionsHead(std::nullopt) + optionList() + closingParagraphs();
}

} // namespace veltrane::cli
