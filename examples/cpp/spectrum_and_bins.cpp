// The Veltrane library from outside: the exact spectral diagram of the three-branch map with
// break points 0.2 and 0.5, and the masses of 16 equal bins of the measure that weights its
// branches 1, 2 and 1.
#include <cstdio>
#include <span>
#include <vector>
#include <veltrane/veltrane.h>

int main() {
    try {
        const std::vector<double> breaks{0.2, 0.5};
        const veltrane::ExactSolver solver(veltrane::branchExponents(breaks));
        std::printf("lyapunov,entropy,dimension\n");
        for (const veltrane::ExactPoint& p : solver.spectrum(11).points) {
            std::printf("%.6f,%.6f,%.6f\n", p.lyapunov, p.entropy, p.dimension);
        }

        const std::vector<double> weights{1, 2, 1};
        std::vector<double> m(16);
        veltrane::Cascade(breaks, weights).binMasses(16, 0, std::span<double>(m));
        std::printf("bin,mass\n");
        for (std::size_t j = 0; j < m.size(); ++j) {
            std::printf("%zu,%.6f\n", j, m[j]);
        }
    } catch (const veltrane::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
