#include "Cli.h"
#include "TextToSingle.h"

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    return veltrane::cli::run(args, std::cout, std::cerr, veltrane::cLocaleDecimalSeparator());
}
