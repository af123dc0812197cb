#include "MarkovInput.h"

#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/InputFiles.h>

namespace veltrane::cli {
using namespace veltrane::process;

namespace {

// What reader makes of file, read a piece at a time; what refuses it names the file.
template <typename Reader>
auto readWith(Reader& reader, const std::string& file, const Services& services, const char* what) {
    try {
        readPieces(file, services.input, what, [&](std::string_view piece) { reader.feed(piece); });
        return reader.finish();
    } catch (const FileError&) {
        throw;
    } catch (const InputError& e) {
        throw InputError(inputName(file) + ": " + e.what());
    }
}

} // namespace

std::vector<MarkovPiece> piecesOf(const std::string& file, const Services& services) {
    MarkovPieceReader reader(services.decimalSeparator);
    return readWith(reader, file, services, "pieces");
}

MarkovWeights weightsOf(const std::string& file, const std::vector<MarkovPiece>& pieces,
                        const Services& services) {
    MarkovWeightReader reader(pieces, services.decimalSeparator);
    return readWith(reader, file, services, "weights");
}

} // namespace veltrane::cli
