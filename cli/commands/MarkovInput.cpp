#include "MarkovInput.h"

#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/InputFiles.h>

namespace veltrane::cli {
using namespace veltrane::process;

std::vector<MarkovPiece> piecesOf(const std::string& file, const Services& services) {
    MarkovPieceReader reader(services.decimalSeparator);
    try {
        readPieces(file, services.input, "pieces",
                   [&](std::string_view piece) { reader.feed(piece); });
        return reader.finish();
    } catch (const FileError&) {
        throw;
    } catch (const InputError& e) {
        throw InputError(inputName(file) + ": " + e.what());
    }
}

MarkovWeights weightsOf(const std::string& file, const std::vector<MarkovPiece>& pieces,
                        const Services& services) {
    MarkovWeightReader reader(pieces, services.decimalSeparator);
    try {
        readPieces(file, services.input, "weights",
                   [&](std::string_view piece) { reader.feed(piece); });
        return reader.finish();
    } catch (const FileError&) {
        throw;
    } catch (const InputError& e) {
        throw InputError(inputName(file) + ": " + e.what());
    }
}

} // namespace veltrane::cli
