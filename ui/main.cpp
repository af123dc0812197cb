// The windows' side of the program: the windows themselves, and the command line's pictures.
// The command line (cli/main.cpp) starts it for those, with the same words.
#include <QApplication>
#include <array>
#include <clocale>
#include <iostream>
#include <string>
#include <vector>
#include <veltrane/cli/Cli.h>
#include <veltrane/process/DisplayCheck.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Interrupt.h>
#include <veltrane/ui/PictureWriter.h>
#include <veltrane/ui/StartUp.h>

using namespace veltrane::classic;
using namespace veltrane::graph;

using namespace veltrane::process;
using namespace veltrane::cli;

namespace {

// Qt's chatter about the offscreen platform ("does not support raise()", the runtime folder)
// means nothing to someone drawing a picture; real failures are reported by the command.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::cerr << qPrintable(qFormatLogMessage(type, context, text)) << '\n';
    }
}

int runCommand(const std::vector<std::string>& args) {
    qInstallMessageHandler(quietMessages);
    // "-platform" wins over QT_QPA_PLATFORM: pictures need no display, whatever the
    // environment says.
    std::array<char, 9> name{"veltrane"};
    std::array<char, 10> option{"-platform"};
    std::array<char, 10> platform{"offscreen"};
    std::array<char*, 4> argv{name.data(), option.data(), platform.data(), nullptr};
    int argc = 3;
    const QApplication app(argc, argv.data());
    veltrane::ui::PictureWriter pictures;
    return veltrane::cli::runOnStandardStreams(args, &pictures);
}

// The display is for Qt to open when the words name one.
bool namesADisplay(const std::vector<std::string>& args) {
    for (const std::string& word : args) {
        if (word == "-platform" || word == "-display") {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    veltrane::process::installInterruptHandler();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && !veltrane::cli::isToolkitOption(args[0])) {
        return runCommand(args);
    }
    if (!namesADisplay(args)) {
        if (const auto problem = veltrane::process::missingDisplay()) {
            std::cerr << *problem << '\n';
            return veltrane::process::kExitFailure;
        }
    }
    return veltrane::ui::runGui(argc, argv);
}
