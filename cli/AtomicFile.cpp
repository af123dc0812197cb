#include "AtomicFile.h"

#include "CommandError.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane::cli {

namespace {

// The temporary file an interrupt must remove: a plain buffer, which the signal handler can
// read without allocating.
std::array<char, 4096> g_pending{};

void onSignal(int signal) {
    if (g_pending[0] != '\0') {
        ::unlink(g_pending.data());
    }
    ::_exit(128 + signal);
}

[[noreturn]] void writeError() {
    throw CommandError(kExitRunTime, std::string("write error: ") + std::strerror(errno));
}

} // namespace

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

AtomicFile::AtomicFile(const std::string& path) : m_path(path) {
    const std::filesystem::path target(path);
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        throw CommandError(kExitUsage, "cannot write \"" + path + "\": it is a folder");
    }
    m_temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    if (m_temporary.size() >= g_pending.size()) {
        throw CommandError(kExitUsage, "cannot write \"" + path + "\": the name is too long");
    }
    std::copy(m_temporary.begin(), m_temporary.end(), g_pending.begin());
    m_fd = ::mkstemp(g_pending.data());
    if (m_fd < 0) {
        const int reason = errno;
        g_pending.fill('\0');
        throw CommandError(kExitUsage, "cannot write \"" + path + "\": " + std::strerror(reason));
    }
    m_temporary = g_pending.data();
    // Made with the permissions of any new file of the user's, not mkstemp's private ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(m_fd, 0666 & ~mask);
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
        g_pending.fill('\0');
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
        g_pending.fill('\0');
        errno = reason;
        writeError();
    }
    m_fd = -1;
    if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        const int reason = errno;
        ::unlink(m_temporary.c_str());
        g_pending.fill('\0');
        errno = reason;
        writeError();
    }
    g_pending.fill('\0');
}

} // namespace veltrane::cli
