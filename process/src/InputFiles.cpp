#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// Standard input closed ("<&-") or opened for writing only cannot be read at all: that is how
// the program was started, not a failure of the reading.
void requireReadable(int input) {
    const int flags = ::fcntl(input, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY) {
        throw FileError("cannot read standard input: it is closed or not open for reading");
    }
}

} // namespace

std::string inputName(const std::string& file) {
    return file == "-" ? "standard input" : file;
}

void readPieces(const std::string& file, int input, const std::string& what,
                const std::function<void(std::string_view)>& feed) {
    if (file == "-") {
        requireReadable(input);
    }
    const int fd = file == "-" ? input : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw FileError("cannot read " + file + ": " + std::strerror(errno));
    }
    struct Closer {
        int fd;
        bool own;
        ~Closer() {
            if (own) {
                ::close(fd);
            }
        }
    } closer{fd, file != "-"}; // a file may be opened onto a closed standard input's number
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        throw FileError(file + " is a folder, not a file of " + what);
    }
    std::array<char, 65536> piece{};
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw ReadError("cannot read " + inputName(file) + ": " + std::strerror(errno));
        }
        if (got == 0) {
            return;
        }
        feed({piece.data(), static_cast<std::size_t>(got)});
    }
}

std::vector<std::string> readNumberFile(const std::string& file, int input,
                                        const std::string& separator, std::size_t most,
                                        const std::string& what) {
    NumberListReader reader(separator, most, what);
    try {
        readPieces(file, input, what, [&](std::string_view piece) { reader.feed(piece); });
        return reader.finish();
    } catch (const FileError&) {
        throw;
    } catch (const InputError& e) {
        throw InputError(inputName(file) + ": " + e.what());
    }
}

} // namespace veltrane
