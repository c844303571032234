// zero_rate.cpp - diffusion with a coefficient of +0, without the sweeps.
//
// With a = +0 every sweep sets a fluid cell to (x0 + 0 * S) / 1, S being the
// sum of its four neighbours. While all values involved are finite, 0 * S is
// a zero, so the cell becomes x0 exactly, except where x0 is -0: there the
// result is -0 when S is negative or -0 and +0 otherwise, and that can change
// from sweep to sweep. Obstacle cells become +0. So when x (the starting
// guess, read by the first sweep) and x0 on fluid cells are finite, the 20
// sweeps reduce to one bulk copy plus an exact replay of the few -0 cells.
// Any non-finite value spreads NaN through the sweeps and is left to them.
#include <cstdint>

#include "bit_cast.hpp"
#include "fluid.hpp"
#include "kernels.hpp"

namespace fluid::detail {

namespace {

// Above this many -0 cells the replay costs more than the vector sweeps.
constexpr int max_negative_zeros = 1024;

// One sweep's value of a fluid cell at rate +0, exactly as the sweep computes
// it (the division by 1 changes nothing).
float update(float x0, float im, float ip, float jm, float jp) {
    const double sum = (((double)im + (double)ip) + (double)jm) + (double)jp;
    return (float)((double)x0 + 0.0 * sum);
}

int negative_zero_cells[max_negative_zeros];
float entry_ip[max_negative_zeros];
float entry_jp[max_negative_zeros];

}  // namespace

bool diffuse_at_rate_zero(const float* x0, float* x, int edge_mode) {
    constexpr int S = GRID_SIDE;
    // Branch-free scans over whole rows, so that they vectorise; ring lanes
    // and obstacle cells are masked out where they do not count.
    std::uint32_t non_finite = 0;
    for (int k = 0; k < FIELD_SIZE; ++k) {
        non_finite |= (fluid::bit_cast<std::uint32_t>(x[k]) & 0x7f800000u) == 0x7f800000u;
    }
    std::uint32_t negative_zero = 0;
    for (int j = 1; j <= GRID_INNER; ++j) {
        for (int i = 1; i <= GRID_INNER; ++i) {
            const int c = cell_index(i, j);
            const std::uint32_t bits = fluid::bit_cast<std::uint32_t>(x0[c]);
            const std::uint32_t fluid = obstacle[c] == 0;
            non_finite |= fluid & ((bits & 0x7f800000u) == 0x7f800000u);
            negative_zero |= fluid & (bits == 0x80000000u);
        }
    }
    if (non_finite != 0) return false;

    // The fluid cells whose x0 is -0, in ascending index order, which is a
    // valid order of the sweep (c - 1 and c - 128 come before c).
    int n = 0;
    if (negative_zero != 0) {
        for (int j = 1; j <= GRID_INNER; ++j) {
            for (int i = 1; i <= GRID_INNER; ++i) {
                const int c = cell_index(i, j);
                if (obstacle[c] == 0 && fluid::bit_cast<std::uint32_t>(x0[c]) == 0x80000000u) {
                    if (n == max_negative_zeros) return false;
                    negative_zero_cells[n++] = c;
                }
            }
        }
    }

    // First sweep: the -0 cells read the entry values of (i + 1, j) and
    // (i, j + 1), which the bulk copy overwrites, so keep those first.
    for (int k = 0; k < n; ++k) {
        entry_ip[k] = x[negative_zero_cells[k] + 1];
        entry_jp[k] = x[negative_zero_cells[k] + S];
    }
    for (int j = 1; j <= GRID_INNER; ++j) {
        for (int i = 1; i <= GRID_INNER; ++i) {
            const int c = cell_index(i, j);
            const std::uint32_t keep = obstacle[c] == 0 ? 0xffffffffu : 0u;
            x[c] = fluid::bit_cast<float>(fluid::bit_cast<std::uint32_t>(x0[c]) & keep);
        }
    }
    for (int k = 0; k < n; ++k) {
        const int c = negative_zero_cells[k];
        x[c] = update(x0[c], x[c - 1], entry_ip[k], x[c - S], entry_jp[k]);
    }
    apply_edges(x, edge_mode);
    if (n == 0) return true;

    // Later sweeps change only the -0 cells. A ring cell is read only by the
    // interior cell next to it, so the edge rule of the previous sweep is
    // applied to it just before that cell is recomputed.
    const bool copy = edge_mode == EDGE_COPY;
    for (int sweep = 1; sweep < 20; ++sweep) {
        for (int k = 0; k < n; ++k) {
            const int c = negative_zero_cells[k];
            const int i = c % S;
            const int j = c / S;
            const float edge = copy ? x[c] : 0.0f;
            if (i == 1) x[c - 1] = edge;
            if (i == GRID_INNER) x[c + 1] = edge;
            if (j == 1) x[c - S] = edge;
            if (j == GRID_INNER) x[c + S] = edge;
            x[c] = update(x0[c], x[c - 1], x[c + 1], x[c - S], x[c + S]);
        }
    }
    apply_edges(x, edge_mode);
    return true;
}

}  // namespace fluid::detail
