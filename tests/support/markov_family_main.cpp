// Writes a map of a family, one piece a line as `veltrane markov` reads it:
//   markov_family FAMILY PIECES SEED [PERIOD]
#include "MarkovFamilies.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: markov_family FAMILY PIECES SEED [PERIOD]\n");
        return 2;
    }
    const auto family = veltrane::test::familyNamed(argv[1]);
    const auto pieces = veltrane::test::markovFamilyMap(
        family, std::stoul(argv[2]), std::stoull(argv[3]), argc > 4 ? std::stoul(argv[4]) : 5);
    for (const veltrane::MarkovPiece& p : pieces) {
        std::printf("%.17g %.17g %.17g %.17g\n", p.left, p.right, p.imageLeft, p.imageRight);
    }
    return 0;
}
