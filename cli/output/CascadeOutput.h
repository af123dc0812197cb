#pragma once

// The masses of a cascade as data: CSV, NumPy's .npy or raw little-endian doubles.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <veltrane/cascade.h>
#include <veltrane/process/AtomicFile.h>

namespace veltrane::cli {

enum class DataFormat { Csv, Npy, F64 };

// The format a file's extension names, in any letter case, or CSV on standard output without a
// file; InputError for any other extension, before any work is done.
DataFormat dataFormat(const std::optional<std::string>& file);

// Writes the masses, in order as they are computed, into a file by its extension (.csv, .npy:
// one dimension of doubles, .f64: raw little-endian doubles), whole or not at all, or as CSV on
// standard output.
class CascadeWriter {
public:
    // Throws FileError for a file that cannot be made there.
    CascadeWriter(const std::optional<std::string>& file, DataFormat format, std::ostream& out);

    // What comes before the values: .npy's header for so many doubles, or CSV's header line
    // (bin,left,right,mass, or cell,left,width,mass for cells).
    void begin(std::uint64_t values, bool cells);
    // Bins first, first + 1, ... of N equal bins.
    void writeBins(std::uint64_t first, std::span<const double> masses, std::uint64_t bins);
    // Cells first, first + 1, ... of a level.
    void writeCells(std::uint64_t first, std::span<const Cascade::Cell> cells);
    // The file takes its place, whole.
    void commit();

private:
    void write(std::string_view bytes);
    template <typename Row> void writeRows(std::size_t count, const Row& row);

    std::ostream& m_out;
    DataFormat m_format = DataFormat::Csv;
    std::unique_ptr<process::AtomicFile> m_file; // none: standard output
};

} // namespace veltrane::cli
