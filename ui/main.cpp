#include "Cli.h"
#include "DisplayCheck.h"
#include "StartUp.h"
#include "TextToSingle.h"

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    if (argc > 1) {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return veltrane::cli::run(args, std::cout, std::cerr, veltrane::cLocaleDecimalSeparator());
    }
    if (const auto problem = veltrane::missingDisplay(
            [](const char* name) -> const char* { return std::getenv(name); })) {
        std::cerr << *problem << '\n';
        return 1;
    }
    return veltrane::runGui(argc, argv);
}
