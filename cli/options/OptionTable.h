#pragma once

// The command line's options, declared once: the parsers read the words by this table, --help
// lists it, and the bash completion is written from it at build time.
#include <array>
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <veltrane/cascade.h>

namespace veltrane::cli {

enum class Command { Spectrum, Multifractal, Cascade, Markov, Partition, Analytic };

// The command words, as typed after "veltrane".
struct CommandWord {
    Command command;
    std::string_view word;
};
inline constexpr std::array<CommandWord, 6> kCommandWords{{{Command::Spectrum, "spectrum"},
                                                           {Command::Multifractal, "multifractal"},
                                                           {Command::Cascade, "cascade"},
                                                           {Command::Markov, "markov"},
                                                           {Command::Partition, "partition"},
                                                           {Command::Analytic, "analytic"}}};

// What the program takes in place of a command.
inline constexpr std::array<std::string_view, 2> kProgramOptions{"--help", "--version"};

// The commands that take an option.
class Commands {
public:
    constexpr Commands(std::initializer_list<Command> commands) {
        for (const Command command : commands) {
            m_bits |= bit(command);
        }
    }
    constexpr bool contain(Command command) const { return (m_bits & bit(command)) != 0; }

private:
    static constexpr unsigned bit(Command command) { return 1U << static_cast<unsigned>(command); }
    unsigned m_bits = 0;
};

// What follows an option on the command line.
enum class Value {
    None,  // nothing: a flag
    Whole, // a whole number from least to most, in decimal digits only
    File,  // a file name, read or written by the command
    List,  // the command's later values, however many: "--weights p_1 ... p_n"
    Range, // FROM:TO:STEP, read by the command, giving at most most rows
    Rest,  // nothing, and every later word is a value: "--"
};

struct Option {
    std::string_view word;
    Commands commands;
    Value value = Value::None;
    std::string_view valueName{}; // as --help names the value: "N", "FILE"
    std::uint64_t least = 0;
    std::uint64_t most = 0;
    // A Whole option's value when it is not given, {default} in its help; 0 where the command
    // decides without it.
    std::uint64_t byDefault = 0;
    bool mostAsPower = false;      // messages write most as a power of two too: "256 (2^8)"
    std::string_view extensions{}; // of a File, offered by the completion; empty for any file
    // Its lines in --help, separated by '\n', where {least}, {most} and {default} stand for its
    // limits and its default.
    std::string_view help;
    // A second one, which could only override the first in silence or add to it, is refused.
    bool once = true;
};

// A map has two branches at least, so level M holds at least 2^M cells.
inline constexpr std::uint64_t kMostLevels = std::countr_zero(Cascade::kMaxBins);

// The table's rows, one a variable, so that a command names the option it reads.
namespace option {

using enum Command;

inline constexpr Option json{.word = "--json",
                             .commands = {Spectrum, Multifractal, Markov, Partition, Analytic},
                             .help = "print a JSON object instead of CSV"};
inline constexpr Option exact{.word = "--exact",
                              .commands = {Spectrum},
                              .help = "the values are the break points of the exact spectrum"};
// About 320 MB of results at most.
inline constexpr Option points{.word = "--points",
                               .commands = {Spectrum, Multifractal, Markov, Analytic},
                               .value = Value::Whole,
                               .valueName = "N",
                               .least = 2,
                               .most = 10'000'000,
                               .byDefault = 101, // as many as the classic analyses store
                               .help = "with --exact, multifractal, markov or analytic: number of\n"
                                       "points, {least} to {most} (default {default})"};
inline constexpr Option from{.word = "--from",
                             .commands = {Spectrum, Multifractal, Cascade, Partition, Analytic},
                             .value = Value::File,
                             .valueName = "FILE",
                             .help = "read the break points from FILE, \"-\" for standard input\n"
                                     "(with spectrum, implies --exact); analytic: the branches,\n"
                                     "a formula a line"};
inline constexpr Option threads{
    .word = "--threads",
    .commands = {Spectrum, Multifractal, Cascade, Markov, Partition, Analytic},
    .value = Value::Whole,
    .valueName = "N",
    .least = 1,
    .most = 1024,
    .help = "with --exact, multifractal, cascade, markov, partition or\n"
            "analytic: use N threads (default: one a core)"};
inline constexpr Option weights{.word = "--weights",
                                .commands = {Multifractal, Cascade, Partition},
                                .value = Value::List,
                                .valueName = "p...",
                                .help = "multifractal, cascade, partition: the branches' weights"};
inline constexpr Option weightsFrom{
    .word = "--weights-from",
    .commands = {Multifractal, Cascade, Partition, Markov},
    .value = Value::File,
    .valueName = "FILE",
    .help = "multifractal, cascade, partition: read the weights from FILE,\n"
            "\"-\" for standard input; markov: the transition weights of a\n"
            "Markov measure, a line a piece, and its multifractal spectrum"};
inline constexpr Option markov{
    .word = "--markov",
    .commands = {Cascade},
    .value = Value::File,
    .valueName = "FILE",
    .help = "cascade: the Markov map of FILE, \"-\" for standard input, its\n"
            "measure's transition weights from --weights-from"};
inline constexpr Option bins{.word = "--bins",
                             .commands = {Cascade},
                             .value = Value::Whole,
                             .valueName = "N",
                             .least = 1,
                             .most = Cascade::kMaxBins,
                             .mostAsPower = true,
                             .help = "cascade: N equal bins, {least} to {most}"};
// The same word as cascade's --bins, for a list: "--bins 1024,4096,16384".
inline constexpr Option binList{.word = "--bins",
                                .commands = {Partition},
                                .value = Value::Range,
                                .valueName = "N,...",
                                .least = 1,
                                .most = 1000,
                                .help = "partition: the numbers of equal bins, each 1 to 2^40,\n"
                                        "at most {most} of them, separated by commas"};
// Each q costs an exponential a bin.
inline constexpr Option orders{.word = "--q",
                               .commands = {Partition},
                               .value = Value::Range,
                               .valueName = "FROM:TO:STEP",
                               .most = 10'000,
                               .help = "partition: the orders q from FROM to TO, at most {most}"};
inline constexpr Option levels{.word = "--levels",
                               .commands = {Cascade},
                               .value = Value::Whole,
                               .valueName = "M",
                               .least = 1,
                               .most = kMostLevels,
                               .help = "cascade: the n^M cells of level M, {least} to {most}"};
inline constexpr Option output{.word = "--output",
                               .commands = {Cascade},
                               .value = Value::File,
                               .valueName = "FILE",
                               .extensions = "csv npy f64",
                               .help =
                                   "cascade: write FILE (.csv, .npy or .f64), whole or not at all"};
inline constexpr Option cdf{.word = "--cdf",
                            .commands = {Cascade},
                            .value = Value::List,
                            .valueName = "x...",
                            .help = "cascade: the distribution function F(x) and 1 - F(x) at\n"
                                    "each x in [0, 1] (x,cdf,survival)"};
inline constexpr Option cdfFrom{.word = "--cdf-from",
                                .commands = {Cascade},
                                .value = Value::File,
                                .valueName = "FILE",
                                .help = "cascade: as --cdf, the points read from FILE, \"-\" for\n"
                                        "standard input"};
inline constexpr Option dq{.word = "--dq",
                           .commands = {Multifractal, Markov},
                           .value = Value::Range,
                           .valueName = "FROM:TO:STEP",
                           .most = 1'000'000,
                           .help = "multifractal, markov: the generalized dimensions for q from\n"
                                   "FROM to TO"};
inline constexpr Option exponents{
    .word = "--exponents",
    .commands = {Multifractal, Markov},
    .value = Value::Range,
    .valueName = "FROM:TO:STEP",
    .most = 1'000'000,
    .help = "multifractal, markov: the exponents by convention, q from FROM\n"
            "to TO"};
// A law's text is read by the command, as a range is (RandomModel::parse); the cascade command
// takes these too for its realizations.
inline constexpr Option random{.word = "--random",
                               .commands = {Multifractal, Cascade},
                               .value = Value::Range,
                               .valueName = "MODEL",
                               .help =
                                   "multifractal: the expected exponents of a random cascade law;\n"
                                   "cascade: a realization of it (with --seed): the laws\n"
                                   "lognormal:b=2,sigma2=0.2, beta:a=2, dirichlet:a=1/2/3,\n"
                                   "permutation:w=0.2/0.3/0.5 or twovalued:b=2,p=0.5,u=0.7"};
inline constexpr Option seed{.word = "--seed",
                             .commands = {Cascade},
                             .value = Value::Whole,
                             .valueName = "S",
                             .least = 0,
                             .most = std::numeric_limits<std::uint64_t>::max(),
                             .help = "cascade --random: the seed, {least} to {most}"};
inline constexpr Option realization{
    .word = "--realization",
    .commands = {Cascade},
    .value = Value::Whole,
    .valueName = "R",
    .least = 0,
    .most = std::numeric_limits<std::uint64_t>::max(),
    .help = "cascade --random: realization R of the seed (default 0),\n{least} to {most}"};
inline constexpr Option randomFrom{.word = "--random-from",
                                   .commands = {Multifractal, Cascade},
                                   .value = Value::File,
                                   .valueName = "FILE",
                                   .help =
                                       "multifractal, cascade: as --random, generators read\n"
                                       "from FILE, a line each: PROBABILITY | BREAKS | WEIGHTS"};
inline constexpr Option batch{.word = "--batch",
                              .commands = {Spectrum},
                              .value = Value::File,
                              .valueName = "FILE",
                              .help = "read maps from FILE, one a line, \"-\" for standard input"};
inline constexpr Option compare{
    .word = "--compare",
    .commands = {Spectrum},
    .help = "with C, or C1 and C2: the stored points beside the exact ones"};
inline constexpr Option csv{.word = "--csv",
                            .commands = {Spectrum, Multifractal, Markov, Analytic},
                            .help = "print CSV even with --plot"};
inline constexpr Option plot{.word = "--plot",
                             .commands = {Spectrum, Multifractal, Markov, Analytic},
                             .value = Value::File,
                             .valueName = "FILE",
                             .extensions = "png svg pdf",
                             .help = "draw the graph window as the analysis leaves it into FILE,\n"
                                     "a .png, .svg or .pdf picture (no display needed); nothing\n"
                                     "is printed then unless --json or --csv is given"};
inline constexpr Option grid{.word = "--grid",
                             .commands = {Spectrum, Multifractal, Markov, Analytic},
                             .help = "with --plot: grid lines across the plot instead of ticks"};
inline constexpr Option dpi{
    .word = "--dpi",
    .commands = {Spectrum, Multifractal, Markov, Analytic},
    .value = Value::Whole,
    .valueName = "N",
    .least = 1,
    .most = 2400,
    .byDefault = 96, // the graph window's own size
    .help = "with --plot: resolution of a .png, {least} to {most} (default {default},\n"
            "the window's own size); .svg and .pdf are vector pictures"};
// The analytic maps' own. A formula is text the command reads (Formula's grammar), as a range
// is; --branch is the one option given again and again, a branch each time.
inline constexpr Option branch{.word = "--branch",
                               .commands = {Analytic},
                               .value = Value::Range,
                               .valueName = "F",
                               .help = "analytic: an inverse branch, a formula in x; once for\n"
                                       "each branch",
                               .once = false};
inline constexpr Option continuedFraction{
    .word = "--continued-fraction",
    .commands = {Analytic},
    .value = Value::Range,
    .valueName = "A,...",
    .help = "analytic: the branches 1/(a+x) of the digits a, 1 to 1000000"};
inline constexpr Option beta{.word = "--beta",
                             .commands = {Analytic},
                             .value = Value::Range,
                             .valueName = "B",
                             .help = "analytic: the pressure P(B), B read exactly as typed"};
inline constexpr Option dimension{.word = "--dimension",
                                  .commands = {Analytic},
                                  .help = "analytic: the Hausdorff dimension of the repeller"};
// AnalyticSolver::kMostDigits, checked where the command reads it.
inline constexpr Option digits{.word = "--digits",
                               .commands = {Analytic},
                               .value = Value::Whole,
                               .valueName = "D",
                               .least = 1,
                               .most = 1000,
                               .help =
                                   "analytic, with --beta or --dimension: D significant\n"
                                   "digits, {least} to {most}, checked by a run with more nodes"};
inline constexpr Option help{
    .word = "--help",
    .commands = {Spectrum, Multifractal, Cascade, Markov, Partition, Analytic},
    .help = "print this command's usage, and nothing else"};
inline constexpr Option rest{
    .word = "--",
    .commands = {Spectrum, Multifractal, Cascade, Markov, Partition, Analytic},
    .value = Value::Rest,
    .help = "every later word is a value"};

} // namespace option

// Every option, in the order --help lists them.
inline constexpr std::array<const Option*, 34> kOptions{&option::json,
                                                        &option::exact,
                                                        &option::points,
                                                        &option::from,
                                                        &option::threads,
                                                        &option::weights,
                                                        &option::weightsFrom,
                                                        &option::markov,
                                                        &option::bins,
                                                        &option::binList,
                                                        &option::orders,
                                                        &option::levels,
                                                        &option::output,
                                                        &option::cdf,
                                                        &option::cdfFrom,
                                                        &option::dq,
                                                        &option::exponents,
                                                        &option::batch,
                                                        &option::compare,
                                                        &option::csv,
                                                        &option::plot,
                                                        &option::grid,
                                                        &option::dpi,
                                                        &option::random,
                                                        &option::randomFrom,
                                                        &option::seed,
                                                        &option::realization,
                                                        &option::branch,
                                                        &option::continuedFraction,
                                                        &option::beta,
                                                        &option::dimension,
                                                        &option::digits,
                                                        &option::help,
                                                        &option::rest};

// Two options of which one would override the other in silence, or ask for what the other
// rules out: given together, they are refused as bad usage with the problem, which names both.
struct Conflict {
    const Option* first;
    const Option* second;
    std::string_view problem;
};

inline constexpr std::string_view kDqAlone =
    "--dq prints a table of q and does not go with --points or --plot";
inline constexpr std::string_view kExponentsAlone =
    "--exponents prints a table of q and does not go with --dq, --points or --plot";
inline constexpr std::string_view kCompareAlone =
    "--compare goes with C, or C1 and C2, not with --exact or --from";
inline constexpr std::string_view kRandomAlone =
    "--random and --random-from give a law, not a measure: they go with --exponents, or with "
    "cascade's --seed and --bins";
inline constexpr std::string_view kOneMap =
    "--branch, --from and --continued-fraction each give the map: give one of them";
inline constexpr std::string_view kOneValue =
    "--beta and --dimension each print one value and do not go with --points or --plot";
inline constexpr std::array<Conflict, 25> kConflicts{{
    {&option::json, &option::csv,
     "--json and --csv do not go together: each chooses what standard output holds"},
    {&option::dq, &option::points, kDqAlone},
    {&option::dq, &option::plot, kDqAlone},
    {&option::exponents, &option::dq, kExponentsAlone},
    {&option::exponents, &option::points, kExponentsAlone},
    {&option::exponents, &option::plot, kExponentsAlone},
    {&option::compare, &option::exact, kCompareAlone},
    {&option::compare, &option::from, kCompareAlone},
    {&option::compare, &option::plot, "--compare prints a table and does not go with --plot"},
    {&option::random, &option::randomFrom, "--random and --random-from each give the law"},
    {&option::random, &option::from, kRandomAlone},
    {&option::random, &option::weights, kRandomAlone},
    {&option::random, &option::weightsFrom, kRandomAlone},
    {&option::random, &option::dq, kRandomAlone},
    {&option::random, &option::plot, kRandomAlone},
    {&option::randomFrom, &option::from, kRandomAlone},
    {&option::randomFrom, &option::weights, kRandomAlone},
    {&option::branch, &option::from, kOneMap},
    {&option::branch, &option::continuedFraction, kOneMap},
    {&option::from, &option::continuedFraction, kOneMap},
    {&option::beta, &option::dimension, "--beta and --dimension each choose the value printed"},
    {&option::beta, &option::points, kOneValue},
    {&option::beta, &option::plot, kOneValue},
    {&option::dimension, &option::points, kOneValue},
    {&option::dimension, &option::plot, kOneValue},
}};

// Whether the option is followed by a value of its own.
constexpr bool takesValue(const Option& option) {
    return option.value == Value::Whole || option.value == Value::File ||
           option.value == Value::Range;
}

// The option's most as messages quote it: "28", "268435456 (2^28)".
std::string mostText(const Option& option);

// The problem with a value of a Whole option outside its limits, or not a whole number.
std::string wholeNumberProblem(const Option& option);

// The option list of --help: a row an option, its help from the 19th column, a line end after
// each; only the options of command when one is given.
std::string optionList(std::optional<Command> command = std::nullopt);

} // namespace veltrane::cli
