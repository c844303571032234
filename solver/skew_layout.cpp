// skew_layout.cpp - the cached obstacle masks of the wrapped layout.
#include "skew_layout.hpp"

#include <cstring>

#include "fluid.hpp"

namespace fluid::detail {

namespace {

constexpr int CELLS = SKEW_ROWS * SKEW_ROWS;

// One mask in all its forms; the bits padded since a mask register is loaded
// two bytes at a time.
struct MaskStore {
    alignas(64) std::uint8_t bits[CELLS / 8 + 8];
    alignas(64) std::uint16_t quads[CELLS / 4];
    alignas(64) std::uint16_t pairs[CELLS / 2];

    void clear() { std::memset(this, 0, sizeof *this); }
    void set(int k) {
        bits[k >> 3] = static_cast<std::uint8_t>(bits[k >> 3] | (1u << (k & 7)));
        quads[k >> 2] = static_cast<std::uint16_t>(quads[k >> 2] + (32u << (k & 3)));
        pairs[k >> 1] = static_cast<std::uint16_t>(pairs[k >> 1] + (16u << (k & 1)));
    }
    SkewMask view() const { return {bits, quads, pairs}; }
};

alignas(64) std::int64_t native_solid[FIELD_SIZE];
MaskStore solid, solid_below_j, solid_above_j, any;
// The obstacle field the masks were built from.
std::int32_t built_from[FIELD_SIZE];
bool built = false;
// Inside a step driver, after the masks were checked at its start.
bool in_step = false;

}  // namespace

alignas(64) double skew_iterate[SKEW_SIZE];
alignas(64) double skew_rhs[SKEW_SIZE];

SkewMasks skew_masks() {
    if (!in_step && (!built || std::memcmp(built_from, obstacle, sizeof built_from) != 0)) {
        std::memcpy(built_from, obstacle, sizeof built_from);
        for (int c = 0; c < FIELD_SIZE; ++c) native_solid[c] = obstacle[c] != 0 ? -1 : 0;
        solid.clear();
        solid_below_j.clear();
        solid_above_j.clear();
        any.clear();
        for (int j = 1; j <= GRID_INNER; ++j) {
            for (int i = 1; i <= GRID_INNER; ++i) {
                const int c = cell_index(i, j);
                const int k = skew_index(i, j) - SKEW_FRONT;
                const bool here = obstacle[c] != 0;
                const bool below = obstacle[c - GRID_SIDE] != 0;
                const bool above = obstacle[c + GRID_SIDE] != 0;
                if (here) solid.set(k);
                if (below) solid_below_j.set(k);
                if (above) solid_above_j.set(k);
                if (here || below || above) any.set(k);
            }
        }
        built = true;
    }
    return {solid.view(), solid_below_j.view(), solid_above_j.view(), any.view(), native_solid};
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
