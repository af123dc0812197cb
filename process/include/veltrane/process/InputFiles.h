#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::process {

// The name of file in messages: itself, or "standard input" for "-".
std::string inputName(const std::string& file);

// Reads file ("-": the descriptor input) a piece at a time, handing each piece to feed, with a
// lone CR (the line end of old Mac text files) as LF, so that LF, CRLF and CR all end a line.
// Throws FileError when it cannot be opened or is a folder (not a file of `what`), or for "-"
// when input is closed or not open for reading; ReadError when reading fails on the way (an
// input/output error).
void readPieces(const std::string& file, int input, const std::string& what,
                const std::function<void(std::string_view)>& feed);

// The number texts in file as NumberListReader reads them, at most `most` of them, called
// `what` in messages. Throws InputError for what cannot be read, after the file's name
// ("breaks.txt: line 2, column 7: ..."), and as readPieces does.
std::vector<std::string> readNumberFile(const std::string& file, int input,
                                        const std::string& separator, std::size_t most,
                                        const std::string& what);

} // namespace veltrane::process
