// edges.cpp - the edge rule: the ring of a field is set from the interior
// next to it (copy mode) or to zero (zero mode). Neither mode negates.
#include <cstring>

#include "fluid.hpp"

namespace fluid {

void apply_edges(float* x, int edge_mode) {
    constexpr int last = GRID_SIDE - 1;
    if (edge_mode != EDGE_COPY) {
        std::memset(x, 0, GRID_SIDE * sizeof *x);
        std::memset(x + cell_index(0, last), 0, GRID_SIDE * sizeof *x);
        for (int k = 1; k < last; ++k) {
            x[cell_index(0, k)] = 0.0f;
            x[cell_index(last, k)] = 0.0f;
        }
        return;
    }
    // The copies read interior cells only, so their order does not matter;
    // the rows j = 0 and j = 127 are contiguous.
    std::memcpy(x + cell_index(1, 0), x + cell_index(1, 1), (last - 1) * sizeof *x);
    std::memcpy(x + cell_index(1, last), x + cell_index(1, last - 1), (last - 1) * sizeof *x);
    for (int k = 1; k < last; ++k) {
        x[cell_index(0, k)] = x[cell_index(1, k)];
        x[cell_index(last, k)] = x[cell_index(last - 1, k)];
    }
    // Each corner is the mean of its two ring neighbours written above.
    auto mean = [](float a, float b) { return (float)(0.5 * ((double)a + (double)b)); };
    x[cell_index(0, 0)] = mean(x[cell_index(0, 1)], x[cell_index(1, 0)]);
    x[cell_index(0, last)] = mean(x[cell_index(0, last - 1)], x[cell_index(1, last)]);
    x[cell_index(last, 0)] = mean(x[cell_index(last, 1)], x[cell_index(last - 1, 0)]);
    x[cell_index(last, last)] = mean(x[cell_index(last, last - 1)], x[cell_index(last - 1, last)]);
}

}  // namespace fluid
