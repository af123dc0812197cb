#include "PartitionCommand.h"

#include "MeasureInput.h"
#include "OptionParser.h"
#include "OrderRange.h"
#include "PartitionOutput.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <veltrane/cascade.h>
#include <veltrane/partition.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Progress.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::process;

namespace {

struct PartitionOptions {
    MeasureWords measure;
    std::string bins;   // N_1,N_2,...
    std::string orders; // FROM:TO:STEP
    std::optional<int> threads;
    bool json = false;
};

Parsed<PartitionOptions> parse(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Partition);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    const GivenOptions& given = *parsed.given;
    PartitionOptions o{measureWords(given), given.text(option::binList).value_or(""),
                       given.text(option::orders).value_or(""), given.number<int>(option::threads),
                       given.has(option::json)};
    if (auto problem = measureProblem(o.measure)) {
        return {std::nullopt, *problem};
    }
    if (!given.has(option::binList) || !given.has(option::orders)) {
        return {std::nullopt, "partition takes --bins N,... and --q FROM:TO:STEP"};
    }
    return {o, {}};
}

// N_1,N_2,...: whole numbers in decimal digits, each from 1 to 2^40, at most binList.most.
std::vector<std::uint64_t> binCounts(const std::string& text) {
    const std::string problem = "--bins takes whole numbers from 1 to " + mostText(option::bins) +
                                " separated by commas, at most " +
                                std::to_string(option::binList.most) + " of them";
    std::vector<std::uint64_t> counts;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        std::uint64_t n = 0;
        const auto [stop, error] = std::from_chars(text.data() + at, text.data() + comma, n);
        if (error != std::errc() || stop != text.data() + comma || n < 1 || n > option::bins.most ||
            counts.size() == option::binList.most) {
            throw usageError(problem);
        }
        counts.push_back(n);
        at = comma + 1;
    }
    return counts;
}

// The orders of --q, each FROM + i STEP.
std::vector<double> orders(const std::string& text, const std::string& separator) {
    const OrderRange range = orderRange(option::orders, text, separator, "orders");
    std::vector<double> q(range.count);
    for (std::size_t i = 0; i < q.size(); ++i) {
        q[i] = range.at(i);
    }
    return q;
}

} // namespace

int runPartition(const std::vector<std::string>& words, std::ostream& out, std::ostream& /*err*/,
                 const Services& services) {
    const PartitionOptions o = parse(words).orRefuse();
    const std::vector<std::uint64_t> bins = binCounts(o.bins);
    const std::vector<double> q = orders(o.orders, services.decimalSeparator);
    const Measure measure = readMeasure(o.measure, services);
    const Cascade cascade(measure.breakPoints, measure.weights);
    std::uint64_t work = 0;
    for (const std::uint64_t n : bins) {
        work += n;
    }
    std::optional<PartitionSums> sums;
    withProgress(
        services.progress, o.threads, static_cast<std::size_t>(work),
        [&](const RunControl& control) { sums = partitionSums(cascade, bins, q, control); });
    writePartitionSums(*sums, measure, o.json, out);
    return kExitOk;
}

} // namespace veltrane::cli
