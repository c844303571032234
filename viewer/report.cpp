// report.cpp - the console report: the density, u and v fields and the total.
#include <cstdio>

#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

void dump_field(const float* f) {
    for (int i = GRID_SIDE - 1; i >= 0; --i) {
        for (int j = 0; j < GRID_SIDE; ++j) std::printf("%f ", (double)f[cell_index(i, j)]);
        std::printf("\n");
    }
}

void print_report(float total) {
    std::printf("\n\nDensity Field\n");
    dump_field(density);
    std::printf("\n\nu Field\n");
    dump_field(u);
    std::printf("\n\nv Field\n");
    dump_field(v);
    std::printf("\n\nTotal Density: %f\n", (double)total);
    // A reader at the other end of a pipe sees each report whole.
    std::fflush(stdout);
}

}  // namespace fluid
