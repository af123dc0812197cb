#include "CascadeCommand.h"

#include "CommandError.h"
#include "MeasureInput.h"
#include "OptionParser.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <span>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/internal/npy.h>
#include <veltrane/internal/run.h>
#include <veltrane/internal/text.h>
#include <veltrane/maps.h>
#include <veltrane/process/AtomicFile.h>
#include <veltrane/process/Progress.h>
#include <veltrane/run.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

enum class DataFormat { Csv, Npy, F64 };

struct CascadeOptions {
    MeasureWords measure;
    std::optional<std::uint64_t> bins;
    std::optional<unsigned> levels;
    std::optional<std::string> outputFile;
    std::optional<int> threads;
};

CascadeOptions cascadeOptions(const GivenOptions& given) {
    return {measureWords(given), given.number<std::uint64_t>(option::bins),
            given.number<unsigned>(option::levels), given.text(option::output),
            given.number<int>(option::threads)};
}

CascadeOptions parse(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Cascade);
    if (!parsed.given) {
        throw usageError(parsed.problem);
    }
    CascadeOptions o = cascadeOptions(*parsed.given);
    if (auto problem = measureProblem(o.measure)) {
        throw usageError(*problem);
    }
    if (o.bins.has_value() == o.levels.has_value()) {
        throw usageError("cascade takes --bins N or --levels M, one of the two");
    }
    return o;
}

DataFormat formatOf(const std::string& file) {
    const std::string extension = lowerExtension(file);
    if (extension == ".csv") {
        return DataFormat::Csv;
    }
    if (extension == ".npy") {
        return DataFormat::Npy;
    }
    if (extension == ".f64") {
        return DataFormat::F64;
    }
    throw CommandError(kExitUsage, "cannot write \"" + internal::elided(file) +
                                       "\": the data type is taken from the extension, which "
                                       "must be .csv, .npy or .f64");
}

// Where the bytes go: the file, or standard output.
class Sink {
public:
    Sink(const std::optional<std::string>& file, std::ostream& out)
        : m_out(out), m_file(file ? std::make_unique<AtomicFile>(*file) : nullptr) {}
    void write(std::string_view bytes) {
        if (m_file) {
            m_file->write(bytes);
        } else {
            m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }
    void commit() {
        if (m_file) {
            m_file->commit();
        }
    }

private:
    std::ostream& m_out;
    std::unique_ptr<AtomicFile> m_file;
};

// The values in little-endian order, as .npy's '<f8' and .f64 hold them.
std::string rawBytes(std::span<const double> values) {
    std::string bytes(values.size() * sizeof(double), '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < bytes.size(); i += sizeof(double)) {
            std::reverse(bytes.begin() + static_cast<long>(i),
                         bytes.begin() + static_cast<long>(i + sizeof(double)));
        }
    }
    return bytes;
}

// Values a block holds: what one thread computes at a time. The threads share a window of
// blocks (forEachWindow), written as soon as it is whole, so that memory does not grow with
// the number of values.
constexpr std::size_t kBlock = std::size_t{1} << 14;

// CSV rows are written this many at a time.
constexpr std::size_t kRowsAtOnce = 4096;

// Writes rows first .. first + count - 1, row(i, text) appending row first + i to text.
template <typename Row> void writeRows(std::size_t count, Sink& sink, const Row& row) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        row(i, text);
        if ((i + 1) % kRowsAtOnce == 0 || i + 1 == count) {
            sink.write(text);
            text.clear();
        }
    }
}

void writeBins(const Cascade& cascade, std::uint64_t bins, DataFormat format, Sink& sink,
               const RunControl& control) {
    const auto n = static_cast<double>(bins);
    internal::forEachWindow<double>(
        static_cast<std::size_t>(bins), kBlock, control,
        [&](std::size_t first, std::span<double> masses) {
            cascade.binMasses(bins, first, masses, control);
            if (control.done != nullptr) {
                *control.done += masses.size();
            }
        },
        [&](std::size_t first, std::span<const double> masses) {
            if (format != DataFormat::Csv) {
                sink.write(rawBytes(masses));
                return;
            }
            writeRows(masses.size(), sink, [&](std::size_t i, std::string& text) {
                const std::uint64_t j = first + i;
                // j / N rounded once, so that 3/10 prints as 0.3.
                text += std::to_string(j) + ',' + shortest(static_cast<double>(j) / n) + ',' +
                        shortest(static_cast<double>(j + 1) / n) + ',' + shortest(masses[i]) + '\n';
            });
        });
}

void writeLevels(const Cascade& cascade, unsigned levels, std::uint64_t cells, DataFormat format,
                 Sink& sink, const RunControl& control) {
    std::vector<double> masses;
    internal::forEachWindow<Cascade::Cell>(
        static_cast<std::size_t>(cells), kBlock, control,
        [&](std::size_t first, std::span<Cascade::Cell> out) {
            cascade.levelCells(levels, first, out);
            if (control.done != nullptr) {
                *control.done += out.size();
            }
        },
        [&](std::size_t first, std::span<const Cascade::Cell> some) {
            if (format != DataFormat::Csv) {
                masses.resize(some.size());
                std::transform(some.begin(), some.end(), masses.begin(),
                               [](const Cascade::Cell& cell) { return cell.mass; });
                sink.write(rawBytes(masses));
                return;
            }
            writeRows(some.size(), sink, [&](std::size_t i, std::string& text) {
                text += std::to_string(first + i) + ',' + shortest(some[i].left) + ',' +
                        shortest(some[i].width) + ',' + shortest(some[i].mass) + '\n';
            });
        });
}

} // namespace

int runCascade(const std::vector<std::string>& words, std::ostream& out, const Services& services) {
    const CascadeOptions o = parse(words);
    const DataFormat format = o.outputFile ? formatOf(*o.outputFile) : DataFormat::Csv;
    const Measure measure = readMeasure(o.measure, services);
    const Cascade cascade(measure.breakPoints, measure.weights);
    std::uint64_t values = o.bins.value_or(0);
    if (o.levels) {
        const double cells = std::pow(static_cast<double>(cascade.branches()), *o.levels);
        if (cells > static_cast<double>(option::bins.most)) {
            throw CommandError(kExitUsage, std::to_string(cascade.branches()) + "^" +
                                               std::to_string(*o.levels) + " cells are more than " +
                                               mostText(option::bins));
        }
        values = static_cast<std::uint64_t>(cells);
    }
    Sink sink(o.outputFile, out);
    if (format == DataFormat::Npy) {
        sink.write(internal::npyHeader(values));
    } else if (format == DataFormat::Csv) {
        sink.write(o.levels ? "cell,left,width,mass\n" : "bin,left,right,mass\n");
    }
    withProgress(services.progress, o.threads, static_cast<std::size_t>(values),
                 [&](const RunControl& control) {
                     if (o.levels) {
                         writeLevels(cascade, *o.levels, values, format, sink, control);
                     } else {
                         writeBins(cascade, values, format, sink, control);
                     }
                 });
    sink.commit();
    return kExitOk;
}

} // namespace veltrane::cli
