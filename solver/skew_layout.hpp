// skew_layout.hpp - internal: the wrapped anti-diagonal field layout used by
// the relaxation sweeps, and the obstacle masks stored in it.
//
// Cell (i, j) of a 128 x 128 field (ring included) lies on anti-diagonal
// d = i + j and is stored in row d mod 128 at position i. Row r thus holds
// diagonals r (positions 0 .. r) and r + 128 (positions r + 1 .. 127): every
// row has exactly one cell per position, and its neighbours are
//   (i - 1, j): row r - 1, position i - 1     (i + 1, j): row r + 1, position i + 1
//   (i, j - 1): row r - 1, position i         (i, j + 1): row r + 1, position i
// with rows counted modulo 128. Within one sweep, the cells of a diagonal
// depend only on the diagonals next to it, so a whole row is computed as
// full vectors. Rows start on 64-byte boundaries; the padding before the
// first row and after the last absorbs the reads one position past a row's
// ends.
#pragma once

#include <cstdint>

namespace fluid::detail {

/// Rows of the wrapped layout, and elements per row.
inline constexpr int SKEW_ROWS = 128;
/// Elements before the first row.
inline constexpr int SKEW_FRONT = 8;
/// Elements of one skewed array.
inline constexpr int SKEW_SIZE = SKEW_FRONT + SKEW_ROWS * SKEW_ROWS + 8;

/// Offset of cell (i, j) (0 .. 127 each) in a skewed array.
constexpr int skew_index(int i, int j) {
    return SKEW_FRONT + SKEW_ROWS * ((i + j) % SKEW_ROWS) + i;
}

/// One obstacle mask in the skewed layout, for the cell at offset
/// SKEW_FRONT + k, in the forms the kernel sets of different widths load.
/// Ring cells are never set.
struct SkewMask {
    /// Bit k % 8 of byte k / 8 (padded: two bytes may be read at a time).
    const std::uint8_t* bits;
    /// For the four cells from k = 4 n: 32 times their bits, a byte offset
    /// into a table of 16 four-lane masks.
    const std::uint16_t* quads;
    /// For the two cells from k = 2 n: 16 times their bits, a byte offset
    /// into a table of 4 two-lane masks.
    const std::uint16_t* pairs;
};

/// Obstacle masks in the skewed layout.
struct SkewMasks {
    /// obstacle[c] != 0 at interior cells.
    SkewMask solid;
    /// obstacle[c - 128] != 0 at interior cells.
    SkewMask solid_below_j;
    /// obstacle[c + 128] != 0 at interior cells.
    SkewMask solid_above_j;
    /// Any of the three.
    SkewMask any;
    /// obstacle[c] != 0 in the native layout, by flat index.
    const std::int64_t* native_solid;
};

/// The masks for the current `obstacle` field, rebuilt when it has changed
/// since the last call (checked unless inside a step, see below).
SkewMasks skew_masks();

/// A step driver calls these around its kernels: nothing writes `obstacle`
/// in between, so the masks are brought up to date once, at the start.
void begin_step();
/// Ends what begin_step started; later calls compare `obstacle` again.
void end_step();

/// Scratch skewed array for the iterate.
extern double skew_iterate[SKEW_SIZE];
/// Scratch skewed array for the fixed right-hand side.
extern double skew_rhs[SKEW_SIZE];

}  // namespace fluid::detail
