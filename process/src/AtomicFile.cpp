#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <veltrane/internal/text.h>
#include <veltrane/process/AtomicFile.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/Interrupt.h>
#include <veltrane/text.h>

namespace veltrane::process {

namespace fs = std::filesystem;

namespace {

// As many links as the system follows in one path before it gives up (ELOOP).
constexpr int kMostLinks = 40;

// What mkstemp fills in, after the dot that ends the part taken from the file's name.
constexpr std::string_view kUnique = ".XXXXXX";

[[noreturn]] void cannotWrite(const std::string& path, const std::string& reason) {
    throw FileError("cannot write \"" + internal::elided(path) + "\": " + reason);
}

// The file a path names once its symbolic links are followed, as a path; a link that leads
// nowhere gives the file that writing through it makes.
std::string followLinks(const std::string& path) {
    fs::path at(path);
    for (int hops = 0; hops <= kMostLinks; ++hops) {
        struct stat link {};
        if (::lstat(at.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            return at.string();
        }
        std::error_code error;
        const fs::path text = fs::read_symlink(at, error);
        if (error) {
            cannotWrite(path, error.message());
        }
        at = text.is_absolute() ? text : at.parent_path() / text;
    }
    cannotWrite(path, std::strerror(ELOOP));
}

// The longest name the folder takes, in bytes.
std::size_t longestName(const fs::path& folder) {
    const long most = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return most > 0 ? static_cast<std::size_t>(most) : NAME_MAX;
}

// A hidden name beside target for mkstemp: "." and as much of target's name as fits the
// folder's longest name, cut between UTF-8 characters, then kUnique.
std::string temporaryBeside(const fs::path& target, std::size_t longest) {
    const std::string name = target.filename().string();
    std::size_t keep = std::min(name.size(), longest - std::min(longest, kUnique.size() + 1));
    while (keep > 0 && keep < name.size() &&
           (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return (target.parent_path() / ("." + name.substr(0, keep) + std::string(kUnique))).string();
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Gives the temporary what the file it replaces had; where that is not allowed, it keeps
// mkstemp's owner-only permissions, never wider ones than asked.
void takeOver(int fd, const std::optional<AtomicFile::Existing>& existing) {
    if (!existing) {
        [[maybe_unused]] const int kept = ::fchmod(fd, newFileMode());
        return;
    }
    // Another owner only for the superuser; the group for any of the user's own groups.
    if (::fchown(fd, existing->owner, existing->group) != 0) {
        [[maybe_unused]] const int kept = ::fchown(fd, static_cast<uid_t>(-1), existing->group);
    }
    // After fchown, which clears set-user-ID and set-group-ID.
    [[maybe_unused]] const int kept = ::fchmod(fd, existing->mode);
}

// Writes all of bytes at offset at of fd. Returns 0, or the errno of the write that failed.
int writeAt(int fd, std::string_view bytes, off_t at) {
    while (!bytes.empty()) {
        const ssize_t wrote = ::pwrite(fd, bytes.data(), bytes.size(), at);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return wrote == 0 ? EIO : errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
        at += wrote;
    }
    return 0;
}

// Copies the whole of from over to, in place, cuts to at the end of from and waits for the
// disk. Returns 0, or the errno of the step that failed.
int copyOver(int from, int to) {
    std::array<char, 1 << 16> buffer{};
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            break;
        }
        if (const int failed = writeAt(to, {buffer.data(), static_cast<std::size_t>(got)}, at)) {
            return failed;
        }
        at += got;
    }
    return ::ftruncate(to, at) == 0 && ::fsync(to) == 0 ? 0 : errno;
}

} // namespace

AtomicFile::AtomicFile(const std::string& path) : m_path(path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            cannotWrite(path, "it is a folder");
        }
        if (!S_ISREG(existing.st_mode)) {
            cannotWrite(path, "it is not a regular file");
        }
        m_existing = Existing{existing.st_mode & 07777, existing.st_uid, existing.st_gid,
                              existing.st_nlink > 1};
    }
    m_target = followLinks(path);
    const fs::path target(m_target);
    const std::size_t longest = longestName(target.parent_path());
    if (target.filename().string().size() > longest) {
        cannotWrite(path, std::strerror(ENAMETOOLONG));
    }
    m_temporary = temporaryBeside(target, longest);
    // A signal between making the file and recording its name would leave it behind.
    const SignalsHeld held;
    m_fd = ::mkstemp(m_temporary.data());
    if (m_fd < 0) {
        cannotWrite(path, std::strerror(errno));
    }
    setPendingFile(m_temporary.c_str());
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
        setPendingFile(nullptr);
    }
}

void AtomicFile::abandon(int reason) {
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temporary.c_str());
    setPendingFile(nullptr);
    throw WriteError(reason);
}

void AtomicFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            throw WriteError(written == 0 ? EIO : errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void AtomicFile::commit() {
    if (::fsync(m_fd) != 0) {
        abandon(errno);
    }
    if (m_existing && m_existing->otherLinks) {
        commitInPlace();
        return;
    }
    takeOver(m_fd, m_existing);
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0 || ::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const int reason = errno;
        ::unlink(m_temporary.c_str());
        setPendingFile(nullptr);
        throw WriteError(reason);
    }
    setPendingFile(nullptr);
}

void AtomicFile::commitInPlace() {
    // The copy is the commit: a signal waits for its end.
    const SignalsHeld held;
    const int target = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC);
    if (target < 0) {
        abandon(errno);
    }
    // Room for the new bytes before the first of them replaces an old one, where the file
    // system can promise it: a full disk then fails here, with the file unchanged.
    const off_t size = ::lseek(m_fd, 0, SEEK_END);
    if (size > 0 && ::fallocate(target, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        const int reason = errno;
        ::close(target);
        abandon(reason);
    }
    // Read from the descriptor from now on, so that nothing is left to remove if this ends.
    ::unlink(m_temporary.c_str());
    setPendingFile(nullptr);
    const int failed = copyOver(m_fd, target);
    const int closed = ::close(target) == 0 ? 0 : errno;
    ::close(m_fd);
    m_fd = -1;
    if (failed != 0 || closed != 0) {
        throw WriteError(failed != 0 ? failed : closed,
                         "\"" + internal::elided(m_path) + "\" may be left in part");
    }
}

} // namespace veltrane::process
