#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/text.h>

namespace veltrane::process {

namespace {

// Standard input closed ("<&-") or opened for writing only cannot be read at all: that is how
// the program was started, not a failure of the reading.
void requireReadable(int input) {
    const int flags = ::fcntl(input, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY) {
        throw FileError("cannot read standard input: it is closed or not open for reading");
    }
}

// Hands on the bytes read with a lone CR, the line end of old Mac text files, as LF: every
// reader then ends a line at LF, CRLF or a lone CR. A CR followed by LF is left as it is, so
// that the readers count the bytes of such lines as before; a CR at the end of a piece waits
// for the next piece's first byte.
class LineEnds {
public:
    explicit LineEnds(const std::function<void(std::string_view)>& feed) : m_feed(feed) {}

    void feed(std::string_view piece) {
        m_text.clear();
        for (const char c : piece) {
            if (m_crWaits) {
                m_text += c == '\n' ? '\r' : '\n';
                m_crWaits = false;
            }
            if (c == '\r') {
                m_crWaits = true;
            } else {
                m_text += c;
            }
        }
        if (!m_text.empty()) {
            m_feed(m_text);
        }
    }

    void finish() {
        if (m_crWaits) {
            m_crWaits = false;
            m_feed("\n");
        }
    }

private:
    const std::function<void(std::string_view)>& m_feed;
    std::string m_text;
    bool m_crWaits = false;
};

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
    LineEnds lines(feed);
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw ReadError("cannot read " + inputName(file) + ": " + std::strerror(errno));
        }
        if (got == 0) {
            lines.finish();
            return;
        }
        lines.feed({piece.data(), static_cast<std::size_t>(got)});
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

} // namespace veltrane::process
