#include "AtomicFile.h"

#include "CommandError.h"
#include "Interrupt.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane::cli {

namespace {

[[noreturn]] void writeError() {
    throw CommandError(kExitRunTime, std::string("write error: ") + std::strerror(errno));
}

} // namespace

AtomicFile::AtomicFile(const std::string& path) : m_path(path) {
    const std::filesystem::path target(path);
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        throw CommandError(kExitUsage, "cannot write \"" + path + "\": it is a folder");
    }
    m_temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    // mkstemp fills in the name's last characters; from then on an interrupt removes the file.
    m_fd = ::mkstemp(m_temporary.data());
    if (m_fd < 0) {
        throw CommandError(kExitUsage, "cannot write \"" + path + "\": " + std::strerror(errno));
    }
    setPendingFile(m_temporary.c_str());
    // Made with the permissions of any new file of the user's, not mkstemp's private ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(m_fd, 0666 & ~mask);
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
        setPendingFile(nullptr);
    }
}

void AtomicFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            writeError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void AtomicFile::commit() {
    if (::fsync(m_fd) != 0 || ::close(m_fd) != 0) {
        const int reason = errno;
        m_fd = -1;
        ::unlink(m_temporary.c_str());
        setPendingFile(nullptr);
        errno = reason;
        writeError();
    }
    m_fd = -1;
    if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        const int reason = errno;
        ::unlink(m_temporary.c_str());
        setPendingFile(nullptr);
        errno = reason;
        writeError();
    }
    setPendingFile(nullptr);
}

} // namespace veltrane::cli
