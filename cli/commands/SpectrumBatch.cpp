#include "SpectrumBatch.h"

#include "ClassicRun.h"
#include "ErrorReport.h"
#include "SpectrumOutput.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <ostream>
#include <string_view>
#include <veltrane/classic/Outcome.h>
#include <veltrane/errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

// The words of a line, split at blanks, up to a "#" that starts a comment.
std::vector<std::string> wordsOf(std::string_view line) {
    std::string_view text = line.substr(0, line.find('#'));
    std::vector<std::string> words;
    while (!(text = internal::trimBlanks(text)).empty()) {
        const auto end = std::find_if(text.begin(), text.end(), internal::isBlank);
        words.emplace_back(text.begin(), end);
        text.remove_prefix(static_cast<std::size_t>(end - text.begin()));
    }
    return words;
}

class Batch {
public:
    Batch(bool json, std::ostream& out, std::ostream& err, const Services& services)
        : m_json(json), m_out(out), m_err(err), m_services(services) {}

    // Takes the next piece of the input.
    void feed(std::string_view piece) {
        for (const char c : piece) {
            if (c == '\n') {
                endLine();
                continue;
            }
            ++m_length;
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < ' ' && !internal::isBlank(c)) || byte == 127) {
                // The line is refused at its end for the first such byte; the rest is not kept.
                if (!m_badByte) {
                    m_badByte = BadByte{m_length, byte};
                }
            } else if (m_line.size() < kLongestBatchLine) {
                m_line += c;
            }
        }
    }

    // Runs the last line, when the input does not end with a line end.
    void finish() {
        if (m_length != 0) {
            endLine();
        }
    }

    // Ends standard output as a whole CSV or JSON array, whatever became of the lines.
    int close() {
        if (m_json) {
            writeJsonArrayEnd(m_first, m_out);
        }
        return m_worst;
    }

private:
    struct BadByte {
        std::size_t column = 0;
        unsigned char byte = 0;
    };

    // Why the line just read is no map whatever its words, as it follows "line N": ", column
    // 3: ..." or ": longer than ...".
    std::optional<std::string> lineProblem() const {
        if (m_badByte) {
            std::array<char, 8> hex{};
            std::snprintf(hex.data(), hex.size(), "0x%02X", m_badByte->byte);
            return ", column " + std::to_string(m_badByte->column) + ": the byte " + hex.data() +
                   " cannot be part of a map";
        }
        if (m_length > kLongestBatchLine) {
            return ": longer than " + std::to_string(kLongestBatchLine) + " bytes, so not a map";
        }
        return std::nullopt;
    }

    void endLine() {
        ++m_number;
        const std::optional<std::string> problem = lineProblem();
        const std::vector<std::string> words =
            problem ? std::vector<std::string>{} : wordsOf(m_line);
        m_line.clear();
        m_length = 0;
        m_badByte.reset();
        if (problem) {
            fail(std::make_exception_ptr(InputError(*problem)), "");
        } else if (!words.empty()) {
            runMap(words);
        }
    }

    // Reports the line's error after its number, as the error report words it; the run's
    // status is the worst of its lines'.
    void fail(const std::exception_ptr& error, std::string_view separator) {
        const ErrorReport report = reportOf(error);
        m_err << "veltrane: line " << m_number << separator << report.what << '\n';
        m_worst = std::max(m_worst, report.status);
    }

    void runMap(const std::vector<std::string>& words) {
        if (words.size() > 2) {
            fail(std::make_exception_ptr(InputError("a map is C, or C1 and C2")), ": ");
            return;
        }
        Module1 store;
        const AnalysisOutcome outcome =
            analyseTexts(words, m_services.decimalSeparator, m_err, store);
        try {
            throwUnlessCompleted(outcome);
        } catch (const Error&) {
            fail(std::current_exception(), ": ");
            return;
        }
        if (m_json) {
            writeJsonArrayNext(m_first, m_out);
            writeJson(outcome.breakPoints, outcome.exponents, storedPoints(store), m_out, m_number);
        } else {
            writeCsvRows<float>(storedPoints(store), m_out, m_number);
        }
        m_first = false;
    }

    const bool m_json;
    std::ostream& m_out;
    std::ostream& m_err;
    const Services& m_services;
    std::string m_line;       // the line's first kLongestBatchLine bytes but those refused
    std::size_t m_length = 0; // the line's length so far, in bytes
    std::optional<BadByte> m_badByte;
    long m_number = 0;
    bool m_first = true;
    int m_worst = kExitOk;
};

} // namespace

int runBatch(const std::string& file, bool json, std::ostream& out, std::ostream& err,
             const Services& services) {
    if (!json) {
        writeCsvHeader(out, true);
    }
    Batch batch(json, out, err, services);
    try {
        readPieces(file, services.input, "maps",
                   [&](std::string_view piece) { batch.feed(piece); });
    } catch (const WriteError&) {
        throw;
    } catch (const Error&) {
        // The input could not be read to its end: what was read still makes a whole output.
        batch.close();
        throw;
    }
    batch.finish();
    return batch.close();
}

} // namespace veltrane::cli
