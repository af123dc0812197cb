#include <algorithm>
#include <cctype>
#include <filesystem>
#include <veltrane/cli/Pictures.h>
#include <veltrane/errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane::cli {

std::string lowerExtension(const std::string& file) {
    std::string extension = std::filesystem::path(file).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::optional<PictureFormat> pictureFormat(const std::string& file) {
    const std::string extension = lowerExtension(file);
    if (extension == ".png") {
        return PictureFormat::Png;
    }
    if (extension == ".svg") {
        return PictureFormat::Svg;
    }
    if (extension == ".pdf") {
        return PictureFormat::Pdf;
    }
    return std::nullopt;
}

PictureFormat requirePictureFormat(const std::string& file) {
    if (const auto format = pictureFormat(file)) {
        return *format;
    }
    throw InputError("cannot write \"" + internal::elided(file) +
                     "\": the picture type is taken from the extension, which must be .png, .svg "
                     "or .pdf");
}

} // namespace veltrane::cli
