#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace veltrane::process {

// A file that appears whole or not at all: the bytes go to a hidden temporary file beside it,
// which takes the file's place only at commit(). Until then a failure, the destructor or a
// signal (Interrupt.h) removes it. One at a time in a process.
//
// What the owner chose for a file stays: a symbolic link is followed and its target written
// (the temporary beside the target); a file that exists keeps its mode, and its owner and
// group where this user may give them; a new file gets 0666 less the umask. A file with other
// hard links is written in place at commit, from the complete temporary, so that every link
// sees the new data: that last copy is not atomic, and a failure during it (reported) can leave
// the file in part. The temporary's name fits the folder's longest name however long the
// file's name is.
class AtomicFile {
public:
    // Throws FileError ("cannot write \"path\": reason", the path elided) when the
    // file cannot be made there: a missing or unwritable folder, a folder or something other
    // than a regular file in the way, a name too long for the folder.
    explicit AtomicFile(const std::string& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Throw WriteError when the writing fails.
    void write(std::string_view bytes);
    void commit();

    // What the file that is replaced had, as far as the replacement keeps it.
    struct Existing {
        mode_t mode = 0; // permission bits, with set-user-ID, set-group-ID and sticky
        uid_t owner = 0;
        gid_t group = 0;
        bool otherLinks = false; // more than one hard link
    };

private:
    [[noreturn]] void abandon(int reason);
    void commitInPlace();

    std::string m_path;   // as given, for messages
    std::string m_target; // the file itself, symbolic links followed
    std::string m_temporary;
    std::optional<Existing> m_existing;
    int m_fd = -1;
};

} // namespace veltrane::process
