// The windows' side of a build without the windows (VELTRANE_GUI=OFF). The command line
// (cli/main.cpp) starts it with the same words, as it starts the real one, for the windows and
// for pictures: it says that they are not part of this build. A command with --plot is run
// all the same, so that words it refuses are refused as in any build, and fails only where
// the picture would be drawn.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>
#include <veltrane/cli/Cli.h>
#include <veltrane/errors.h>
#include <veltrane/process/DisplayCheck.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Interrupt.h>

namespace {

// Refuses every picture as a run-time error (status 3); nothing has been printed by then.
class NoPictures final : public veltrane::cli::PlotWriter {
public:
    void write(veltrane::classic::Module1& /*store*/,
               const veltrane::cli::PlotRequest& /*request*/) override {
        throw veltrane::Error("pictures are drawn by the windows, which are not part of this "
                              "build (VELTRANE_GUI=OFF)");
    }
};

} // namespace

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    veltrane::process::installInterruptHandler();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && !veltrane::cli::isToolkitOption(args[0])) {
        NoPictures pictures;
        return veltrane::cli::runOnStandardStreams(args, &pictures);
    }
    std::cerr << veltrane::process::windowsNotBuilt() << '\n';
    return veltrane::process::kExitFailure;
}
