// skew_layout.cpp - index tables of the anti-diagonal layout and the cached
// obstacle masks.
#include "skew_layout.hpp"

#include <cstring>

#include "fluid.hpp"

namespace fluid::detail {

namespace {

struct Tables {
    int row[SKEW_DIAGONALS];
    int cell[FIELD_SIZE];
};

constexpr Tables build_tables() {
    Tables t{};
    for (int d = 0; d < SKEW_DIAGONALS; ++d) t.row[d] = SKEW_FRONT + d * SKEW_STRIDE;
    for (int j = 0; j < GRID_SIDE; ++j) {
        for (int i = 0; i < GRID_SIDE; ++i) t.cell[i + GRID_SIDE * j] = t.row[i + j] + i;
    }
    return t;
}

constexpr Tables tables = build_tables();
static_assert(SKEW_STRIDE % 8 == 0 && SKEW_FRONT % 8 == 0);

alignas(64) std::int64_t native_solid[FIELD_SIZE];
alignas(64) std::int64_t solid[SKEW_SIZE];
alignas(64) std::int64_t solid_below_j[SKEW_SIZE];
alignas(64) std::int64_t solid_above_j[SKEW_SIZE];
int solid_first[SKEW_DIAGONALS];
int solid_last[SKEW_DIAGONALS];
int any_first[SKEW_DIAGONALS];
int any_last[SKEW_DIAGONALS];
// The obstacle field the masks were built from.
std::int32_t built_from[FIELD_SIZE];
bool built = false;
// Inside a step driver, after the masks were checked at its start.
bool in_step = false;

}  // namespace

const int* const skew_row = tables.row;

alignas(64) double skew_iterate[SKEW_SIZE];
alignas(64) double skew_rhs[SKEW_SIZE];

SkewMasks skew_masks() {
    if (!in_step && (!built || std::memcmp(built_from, obstacle, sizeof built_from) != 0)) {
        std::memcpy(built_from, obstacle, sizeof built_from);
        for (int c = 0; c < FIELD_SIZE; ++c) native_solid[c] = obstacle[c] != 0 ? -1 : 0;
        for (int j = 1; j <= GRID_INNER; ++j) {
            for (int i = 1; i <= GRID_INNER; ++i) {
                const int c = cell_index(i, j);
                const int k = tables.cell[c];
                solid[k] = obstacle[c] != 0 ? -1 : 0;
                solid_below_j[k] = obstacle[c - GRID_SIDE] != 0 ? -1 : 0;
                solid_above_j[k] = obstacle[c + GRID_SIDE] != 0 ? -1 : 0;
            }
        }
        for (int d = 0; d < SKEW_DIAGONALS; ++d) {
            solid_first[d] = any_first[d] = GRID_SIDE;
            solid_last[d] = any_last[d] = -1;
            for (int i = d < 127 ? 1 : d - 126; i <= GRID_INNER && i < d; ++i) {
                const int k = tables.row[d] + i;
                if (solid[k] != 0) {
                    if (solid_first[d] > i) solid_first[d] = i;
                    solid_last[d] = i;
                }
                if ((solid[k] | solid_below_j[k] | solid_above_j[k]) != 0) {
                    if (any_first[d] > i) any_first[d] = i;
                    any_last[d] = i;
                }
            }
        }
        built = true;
    }
    return {solid,      solid_below_j, solid_above_j, solid_first,
            solid_last, any_first,     any_last,      native_solid};
}

void begin_step() {
    in_step = false;
    skew_masks();
    in_step = true;
}

void end_step() {
    in_step = false;
}

}  // namespace fluid::detail
