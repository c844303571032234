// skew_layout.hpp - internal: the anti-diagonal field layout used by the
// relaxation sweeps, and the obstacle masks stored in it.
//
// Cell (i, j) lies on anti-diagonal d = i + j. Within one sweep, all cells of
// a diagonal depend only on the diagonals d - 1 (already updated) and d + 1
// (not yet updated), so a diagonal can be computed as vectors. The layout
// stores one row of SKEW_STRIDE elements per diagonal, indexed by i, so that
// the cell (i, j) is at skew_row[i + j] + i and its neighbours are at
//   (i - 1, j): skew_row[d - 1] + i - 1     (i + 1, j): skew_row[d + 1] + i + 1
//   (i, j - 1): skew_row[d - 1] + i         (i, j + 1): skew_row[d + 1] + i
// Ring cells are stored too (the first sweep reads them). Rows start on
// 64-byte boundaries, so vectors at positions that are multiples of the
// vector width are aligned, and the padding around and between the rows
// absorbs vectors running past a diagonal's ends.
#pragma once

#include <cstdint>

namespace fluid::detail {

/// Number of anti-diagonals of a 128 x 128 field (d = 0 .. 254).
inline constexpr int SKEW_DIAGONALS = 255;
/// Elements per diagonal row: positions 0 .. 127 and room for overruns.
inline constexpr int SKEW_STRIDE = 136;
/// Elements before the first row.
inline constexpr int SKEW_FRONT = 8;
/// Elements of one skewed array.
inline constexpr int SKEW_SIZE = SKEW_FRONT + SKEW_DIAGONALS * SKEW_STRIDE + 64;

/// Offset of diagonal d (0 .. 254): cell (i, j) is at skew_row[i + j] + i.
extern const int* const skew_row;

/// Obstacle masks in the skewed layout: all bits set where the test holds.
struct SkewMasks {
    /// obstacle[c] != 0 at interior cells.
    const std::int64_t* solid;
    /// obstacle[c - 128] != 0 at interior cells.
    const std::int64_t* solid_below_j;
    /// obstacle[c + 128] != 0 at interior cells.
    const std::int64_t* solid_above_j;
    /// Per diagonal, the first and last i of a solid cell (first > last when
    /// there is none).
    const int* solid_first;
    const int* solid_last;
    /// Per diagonal, the first and last i where any of the three masks is set.
    const int* any_first;
    const int* any_last;
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
