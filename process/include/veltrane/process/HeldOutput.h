#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>

namespace veltrane::process {

// The buffer of a stream whose bytes are held back until the document they make is complete,
// so that it is printed whole or not at all: in memory up to kHeldInMemory bytes, beyond that
// in an unnamed temporary file in $TMPDIR (else /tmp), which goes with the process however it
// ends. Memory stays below kHeldInMemory + 64 KiB whatever the document's size. Give the stream
// exceptions(std::ios::badbit) so that a failure reaches the command.
class HeldOutput : public std::streambuf {
public:
    static constexpr std::size_t kHeldInMemory = std::size_t{1} << 20;

    HeldOutput() { setp(m_buffer.data(), m_buffer.data() + m_buffer.size()); }
    HeldOutput(const HeldOutput&) = delete;
    HeldOutput& operator=(const HeldOutput&) = delete;
    ~HeldOutput() override;

    // Copies every byte written so far to out, 64 KiB at a time, and holds nothing more.
    // Throws Error when the temporary file cannot be read back.
    void releaseTo(std::ostream& out);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    void drain();
    void spill();

    std::array<char, 65536> m_buffer{};
    std::string m_memory; // the bytes so far, until they outgrow kHeldInMemory
    int m_fd = -1;        // the temporary file that holds them then
};

// Writes a document through write(stream) and prints it on out only once it is complete: a
// failure part of the way (an exception) leaves nothing on out.
template <typename Write> void writeWhole(std::ostream& out, const Write& write) {
    HeldOutput held;
    std::ostream document(&held);
    document.exceptions(std::ios::badbit);
    write(document);
    document.flush();
    held.releaseTo(out);
}

} // namespace veltrane::process
