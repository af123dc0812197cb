#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/HeldOutput.h>

namespace veltrane::process {

namespace {

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

[[noreturn]] void cannotHold(const std::string& folder, int reason) {
    throw Error("cannot hold the output in a temporary file in " + folder + ": " +
                std::strerror(reason));
}

// A file of no name, open for reading and writing: O_TMPFILE where the file system has it,
// else a named one unlinked at once.
int unnamedFile(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    std::string name = folder + "/.veltrane-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named < 0) {
        cannotHold(folder, errno);
    }
    ::unlink(name.c_str());
    return named;
}

void writeAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            cannotHold(temporaryFolder(), written == 0 ? EIO : errno);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

} // namespace

HeldOutput::~HeldOutput() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void HeldOutput::spill() {
    m_fd = unnamedFile(temporaryFolder());
    writeAll(m_fd, m_memory.data(), m_memory.size());
    m_memory = std::string();
}

void HeldOutput::drain() {
    const auto size = static_cast<std::size_t>(pptr() - pbase());
    if (m_fd < 0 && m_memory.size() + size > kHeldInMemory) {
        spill();
    }
    if (m_fd >= 0) {
        writeAll(m_fd, pbase(), size);
    } else {
        m_memory.append(pbase(), size);
    }
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

HeldOutput::int_type HeldOutput::overflow(int_type c) {
    drain();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int HeldOutput::sync() {
    drain();
    return 0;
}

void HeldOutput::releaseTo(std::ostream& out) {
    drain();
    if (m_fd < 0) {
        out.write(m_memory.data(), static_cast<std::streamsize>(m_memory.size()));
        m_memory = std::string();
        return;
    }
    if (::lseek(m_fd, 0, SEEK_SET) < 0) {
        cannotHold(temporaryFolder(), errno);
    }
    for (;;) {
        const ssize_t got = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            cannotHold(temporaryFolder(), errno);
        }
        if (got == 0) {
            break;
        }
        out.write(m_buffer.data(), got);
    }
    ::close(m_fd);
    m_fd = -1;
}

} // namespace veltrane::process
