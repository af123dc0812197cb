#include "CascadeOutput.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <ostream>
#include <vector>
#include <veltrane/cli/Pictures.h>
#include <veltrane/errors.h>
#include <veltrane/internal/npy.h>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::process;

namespace {

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
    throw InputError("cannot write \"" + internal::elided(file) +
                     "\": the data type is taken from the extension, which must be .csv, .npy or "
                     ".f64");
}

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

// CSV rows are written this many at a time.
constexpr std::size_t kRowsAtOnce = 4096;

} // namespace

DataFormat dataFormat(const std::optional<std::string>& file) {
    return file ? formatOf(*file) : DataFormat::Csv;
}

CascadeWriter::CascadeWriter(const std::optional<std::string>& file, DataFormat format,
                             std::ostream& out)
    : m_out(out), m_format(format) {
    if (file) {
        m_file = std::make_unique<AtomicFile>(*file);
    }
}

void CascadeWriter::begin(std::uint64_t values, bool cells) {
    if (m_format == DataFormat::Npy) {
        write(internal::npyHeader(values));
    } else if (m_format == DataFormat::Csv) {
        write(cells ? "cell,left,width,mass\n" : "bin,left,right,mass\n");
    }
}

void CascadeWriter::write(std::string_view bytes) {
    if (m_file) {
        m_file->write(bytes);
    } else {
        m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
}

// Writes count rows, row(i, text) appending the i-th to text.
template <typename Row> void CascadeWriter::writeRows(std::size_t count, const Row& row) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        row(i, text);
        if ((i + 1) % kRowsAtOnce == 0 || i + 1 == count) {
            write(text);
            text.clear();
        }
    }
}

void CascadeWriter::writeBins(std::uint64_t first, std::span<const double> masses,
                              std::uint64_t bins) {
    if (m_format != DataFormat::Csv) {
        write(rawBytes(masses));
        return;
    }
    const auto n = static_cast<double>(bins);
    writeRows(masses.size(), [&](std::size_t i, std::string& text) {
        const std::uint64_t j = first + i;
        // j / N rounded once, so that 3/10 prints as 0.3.
        text += std::to_string(j) + ',' + shortest(static_cast<double>(j) / n) + ',' +
                shortest(static_cast<double>(j + 1) / n) + ',' + shortest(masses[i]) + '\n';
    });
}

void CascadeWriter::writeCells(std::uint64_t first, std::span<const Cascade::Cell> cells) {
    if (m_format != DataFormat::Csv) {
        std::vector<double> masses(cells.size());
        std::transform(cells.begin(), cells.end(), masses.begin(),
                       [](const Cascade::Cell& cell) { return cell.mass; });
        write(rawBytes(masses));
        return;
    }
    writeRows(cells.size(), [&](std::size_t i, std::string& text) {
        text += std::to_string(first + i) + ',' + shortest(cells[i].left) + ',' +
                shortest(cells[i].width) + ',' + shortest(cells[i].mass) + '\n';
    });
}

void CascadeWriter::commit() {
    if (m_file) {
        m_file->commit();
    }
}

} // namespace veltrane::cli
