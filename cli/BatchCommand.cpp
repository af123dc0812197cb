#include "BatchCommand.h"

#include "ClassicRun.h"
#include "DecimalText.h"
#include "InputFiles.h"
#include "SpectrumOutput.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>

namespace veltrane::cli {

namespace {

constexpr std::size_t kLongestLine = 4096;

class Batch {
public:
    Batch(const SpectrumOptions& options, std::ostream& out, std::ostream& err,
          const Services& services)
        : m_options(options), m_out(out), m_err(err), m_services(services) {}

    // Takes the next piece of the input.
    void feed(std::string_view piece) {
        for (const char c : piece) {
            if (c == '\n') {
                endLine();
                continue;
            }
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < ' ' && !isBlank(c)) || byte == 127) {
                std::array<char, 8> hex{};
                std::snprintf(hex.data(), hex.size(), "0x%02X", byte);
                fail(", column " + std::to_string(m_line.size() + 1) + ": the byte " + hex.data() +
                     " cannot be part of a map");
            }
            // A line too long to be a map is refused at its end; its rest is not kept.
            if (m_line.size() < kLongestLine) {
                m_line += c;
            } else {
                m_tooLong = true;
            }
        }
    }

    int finish() {
        if (!m_line.empty() || m_tooLong) {
            endLine();
        }
        m_out << (m_options.json ? (m_first ? "[]\n" : "\n]\n") : "");
        return m_worst;
    }

private:
    // Ends the run at the line being read, with what follows its number.
    [[noreturn]] void fail(const std::string& why) const {
        throw CommandError(kExitUsage, inputName(*m_options.batchFile) + ": line " +
                                           std::to_string(m_number + 1) + why);
    }

    void endLine() {
        ++m_number;
        if (m_tooLong) {
            m_err << "veltrane: line " << m_number << ": longer than " << kLongestLine
                  << " bytes, so not a map\n";
            m_worst = std::max(m_worst, kExitUsage);
            m_line.clear();
            m_tooLong = false;
            return;
        }
        std::string_view text(m_line);
        text = text.substr(0, text.find('#'));
        std::vector<std::string> words;
        while (!(text = trimBlanks(text)).empty()) {
            const auto end = std::find_if(text.begin(), text.end(), isBlank);
            words.emplace_back(text.begin(), end);
            text.remove_prefix(static_cast<std::size_t>(end - text.begin()));
        }
        m_line.clear();
        if (!words.empty()) {
            runMap(words);
        }
    }

    void runMap(const std::vector<std::string>& words) {
        const std::string where = "veltrane: line " + std::to_string(m_number) + ": ";
        if (words.size() > 2) {
            m_err << where << "a map is C, or C1 and C2\n";
            m_worst = std::max(m_worst, kExitUsage);
            return;
        }
        Module1 store;
        const AnalysisOutcome outcome =
            analyseTexts(words, m_services.decimalSeparator, m_err, store);
        if (outcome.status != Status::Completed) {
            m_err << where << outcome.message << '\n';
            m_worst = std::max(m_worst, failureStatus(outcome));
            return;
        }
        if (m_options.json) {
            m_out << (m_first ? "[\n" : ",\n");
            writeJson(outcome.breakPoints, outcome.exponents, storedPoints(store), m_out, m_number);
        } else {
            writeCsvRows<float>(storedPoints(store), m_out, m_number);
        }
        m_first = false;
    }

    const SpectrumOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    const Services& m_services;
    std::string m_line;
    bool m_tooLong = false;
    long m_number = 0;
    bool m_first = true;
    int m_worst = kExitOk;
};

} // namespace

int runBatch(const SpectrumOptions& options, std::ostream& out, std::ostream& err,
             const Services& services) {
    if (!options.json) {
        writeCsvHeader(out, true);
    }
    Batch batch(options, out, err, services);
    readPieces(*options.batchFile, services.input, "maps",
               [&](std::string_view piece) { batch.feed(piece); });
    return batch.finish();
}

} // namespace veltrane::cli
