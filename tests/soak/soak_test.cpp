// A long interactive run on the program's real windows: both Analyze buttons with valid and
// invalid texts, Plot with the Grid box toggled, Print without a printer, and the graph window
// closed and reopened by a later analysis. After every step the store must hold exactly what
// the last completed analysis wrote, as the core computes it on the same texts; there is never
// more than one graph window; and memory does not grow with the number of clicks.
#include "../ui/QtTestSupport.h"
#include "StartUp.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <random>
#include <unistd.h>

namespace veltrane {
namespace {

using test::ModalAnswerer;
using test::waitFor;

// Resident set size of this process in bytes.
long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

const std::vector<std::string> kTwoBranchTexts = {"0.3",    "0.7",   "0.5",  "0.999", "1e-10",
                                                  " 0.25 ", "1.5",   "0",    "-0.3",  "abc",
                                                  "",       "1e-20", "1e39", "nan",   "0.3x"};
const std::vector<std::pair<std::string, std::string>> kThreeBranchTexts = {
    {"0.2", "0.6"}, {"0.3", "0.4"}, {"0.25", "0.5"},  {"0.33333333", "0.66666667"},
    {"0.6", "0.4"}, {"0", "0.5"},   {"0.5", "1"},     {"x", "0.5"},
    {"0.1", ""},    {"0.5", "0.5"}, {"0.01", "0.99"}, {"0.3333333", "0.6666667"}};

// entr3's guard message; the analyses never reach it.
class IgnoredMessages : public MessageSink {
public:
    void showMessage(const std::string&) override {}
};

class Soak {
public:
    Soak() : m_program(module1()), m_random(20261206) {
        m_program.show();
        m_main = &m_program.mainWindow();
        m_reference = module1();
    }

    void step() {
        switch (std::uniform_int_distribution<int>(0, 9)(m_random)) {
        case 0:
        case 1:
        case 2:
            analyseTwoBranch();
            break;
        case 3:
        case 4:
            analyseThreeBranch();
            break;
        case 5:
        case 6:
            toggleGridAndPlot();
            break;
        case 7:
            closeGraphWindow();
            break;
        case 8:
            analyseRandomTwoBranch();
            break;
        default:
            print();
            break;
        }
        QApplication::processEvents();
    }

    void check() const {
        ASSERT_TRUE(module1().sameBits(m_reference));
        ASSERT_LE(graphWindowCount(), 1);
    }

private:
    template <typename T> T* child(QWidget* parent, const char* name) const {
        return parent->findChild<T*>(QString::fromLatin1(name));
    }

    void setText(const char* field, const std::string& text) {
        child<QLineEdit>(m_main, field)->setText(QString::fromStdString(text));
    }

    void click(QWidget* parent, const char* button) {
        QTest::mouseClick(child<QPushButton>(parent, button), Qt::LeftButton);
    }

    DecimalTextToSingle toSingle() const {
        return DecimalTextToSingle(QLocale().decimalPoint().toStdString());
    }

    void analyseTwoBranch(const std::string& text) {
        setText("txtC", text);
        click(m_main, "cmd2branchs");
        runTwoBranch(FieldTexts{{Field::C, text}}, toSingle(), m_reference);
    }

    void analyseTwoBranch() { analyseTwoBranch(pick(kTwoBranchTexts)); }

    void analyseRandomTwoBranch() {
        const float c = std::uniform_real_distribution<float>(-0.1F, 1.1F)(m_random);
        analyseTwoBranch(std::to_string(c));
    }

    void analyseThreeBranch() {
        const auto& [c1, c2] = pick(kThreeBranchTexts);
        setText("txtC1", c1);
        setText("txtC2", c2);
        click(m_main, "cmd3branches");
        IgnoredMessages unused;
        runThreeBranch(FieldTexts{{Field::C1, c1}, {Field::C2, c2}}, toSingle(), unused,
                       m_reference);
    }

    void toggleGridAndPlot() {
        QWidget* graph = m_program.graphHost().window();
        if (graph == nullptr) {
            return;
        }
        child<QCheckBox>(graph, "chbGrid")->click();
        click(graph, "cmdPlot");
    }

    void print() {
        if (QWidget* graph = m_program.graphHost().window()) {
            click(graph, "cmdPrint");
        }
    }

    void closeGraphWindow() {
        if (QWidget* graph = m_program.graphHost().window()) {
            graph->close();
            waitFor([this] { return m_program.graphHost().window() == nullptr; });
        }
    }

    static int graphWindowCount() {
        int count = 0;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            count += window->objectName() == QLatin1String("frmGraph1D") ? 1 : 0;
        }
        return count;
    }

    template <typename T> const T& pick(const std::vector<T>& items) {
        return items[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(m_random)];
    }

    Program m_program;
    frmMain* m_main = nullptr;
    std::mt19937 m_random;
    Module1 m_reference;
};

TEST(Soak, TwoThousandClicksLoseNothingAndKeepOneGraphWindow) {
    // No print queue is reachable: Print must report that and change nothing.
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
    ModalAnswerer answerer;
    Soak soak;
    long afterWarmUp = 0;
    for (int i = 1; i <= 2000; ++i) {
        soak.step();
        ASSERT_NO_FATAL_FAILURE(soak.check()) << "after step " << i;
        if (i == 100) {
            afterWarmUp = residentBytes();
        }
    }
    const long growth = residentBytes() - afterWarmUp;
    RecordProperty("memory_growth_bytes", std::to_string(growth));
    std::printf("memory growth after the first 100 steps: %ld kB, %zu message boxes\n",
                growth / 1024, answerer.seen().size());
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer holds freed memory in quarantine, so the resident size says nothing
    // about leaks there; LeakSanitizer checks those at exit instead.
    (void)growth;
#else
    EXPECT_LT(growth, 10L * 1024 * 1024);
#endif
    EXPECT_EQ(answerer.others(), 0);
}

} // namespace
} // namespace veltrane
