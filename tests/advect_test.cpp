// advect_test.cpp - semi-Lagrangian advection: identity at rest, the clamps
// at both ends, non-finite velocities, and the sign rule next to obstacles.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "fluid.hpp"

namespace {

using fluid::cell_index;

class Advect : public ::testing::Test {
  protected:
    void SetUp() override {
        fluid::clear_state();
        d.assign(fluid::FIELD_SIZE, -7.0f);
        d0.resize(fluid::FIELD_SIZE);
        U.assign(fluid::FIELD_SIZE, 0.0f);
        V.assign(fluid::FIELD_SIZE, 0.0f);
        for (int k = 0; k < fluid::FIELD_SIZE; ++k) d0[k] = (float)(k % 251) * 0.5f + 1.0f;
    }
    void advect(int mode) {
        fluid::advect_field(d.data(), d0.data(), U.data(), V.data(), mode, 0.2f);
    }

    std::vector<float> d, d0, U, V;
};

TEST_F(Advect, AtRestEveryFluidCellKeepsItsValue) {
    fluid::obstacle[cell_index(9, 9)] = 1;
    advect(fluid::EDGE_COPY);
    for (int j = 1; j <= 126; ++j) {
        for (int i = 1; i <= 126; ++i) {
            const int c = cell_index(i, j);
            ASSERT_EQ(d[c], fluid::obstacle[c] ? 0.0f : d0[c]) << i << "," << j;
        }
    }
    EXPECT_EQ(d[cell_index(0, 5)], d[cell_index(1, 5)]);
    advect(fluid::EDGE_ZERO);
    EXPECT_EQ(d[cell_index(0, 5)], 0.0f);
    EXPECT_EQ(d[cell_index(20, 20)], d0[cell_index(20, 20)]);
}

TEST_F(Advect, LargeVelocitiesAreClampedHalfACellInsideTheRing) {
    const int c = cell_index(40, 50);
    // Backwards beyond the high end: x = 126.5 mixes rows 126 and 127 (ring).
    U[c] = -1000.0f;
    advect(fluid::EDGE_COPY);
    EXPECT_EQ(d[c], (float)(0.5 * d0[cell_index(126, 50)] + 0.5 * d0[cell_index(127, 50)]));
    // Beyond the low end: x = 0.5 mixes the ring row 0 and row 1.
    U[c] = 1000.0f;
    V[c] = -1.0e30f;  // and y = 126.5
    advect(fluid::EDGE_COPY);
    const double lo = 0.5 * (0.5 * d0[cell_index(0, 126)] + 0.5 * d0[cell_index(0, 127)]) +
                      0.5 * (0.5 * d0[cell_index(1, 126)] + 0.5 * d0[cell_index(1, 127)]);
    EXPECT_EQ(d[c], (float)lo);
}

TEST_F(Advect, NonFiniteVelocitiesStayWithinTheGrid) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const int c = cell_index(60, 60);
    U[c] = -inf;  // x = +inf, clamped to 126.5
    V[c] = nan;   // y = NaN, taken as the low bound 0.5
    U[c + 1] = nan;
    V[c + 1] = inf;  // y = -inf, clamped to 0.5
    advect(fluid::EDGE_COPY);
    const double at_c = 0.5 * (0.5 * d0[cell_index(126, 0)] + 0.5 * d0[cell_index(126, 1)]) +
                        0.5 * (0.5 * d0[cell_index(127, 0)] + 0.5 * d0[cell_index(127, 1)]);
    EXPECT_EQ(d[c], (float)at_c);
    const double at_c1 = 0.5 * (0.5 * d0[cell_index(0, 0)] + 0.5 * d0[cell_index(0, 1)]) +
                         0.5 * (0.5 * d0[cell_index(1, 0)] + 0.5 * d0[cell_index(1, 1)]);
    EXPECT_EQ(d[c + 1], (float)at_c1);
}

TEST_F(Advect, ZeroModeTurnsValuesAwayFromObstaclesAlongJ) {
    const int pos = cell_index(30, 30);   // positive value, obstacle at (i, j + 1)
    const int neg = cell_index(70, 30);   // negative value, obstacle at (i, j - 1)
    const int side = cell_index(90, 30);  // obstacle along i only: no flip
    fluid::obstacle[pos + 128] = 1;
    fluid::obstacle[neg - 128] = 1;
    fluid::obstacle[side + 1] = 1;
    d0[neg] = -5.0f;
    d0[cell_index(50, 30)] = 0.0f;  // zero is never flipped
    fluid::obstacle[cell_index(50, 31)] = 1;
    advect(fluid::EDGE_ZERO);
    EXPECT_EQ(d[pos], -d0[pos]);
    EXPECT_EQ(d[neg], 5.0f);
    EXPECT_EQ(d[side], d0[side]);
    EXPECT_FALSE(std::signbit(d[cell_index(50, 30)]));
    // Copy mode stores the values as computed.
    advect(fluid::EDGE_COPY);
    EXPECT_EQ(d[pos], d0[pos]);
    EXPECT_EQ(d[neg], -5.0f);
}

TEST_F(Advect, SourceMayBeTheVelocityField) {
    // The velocity step advects u_src along itself.
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) U[k] = (float)((k * 37) % 19 - 9) * 0.01f;
    std::vector<float> expected(fluid::FIELD_SIZE);
    std::vector<float> copy = U;
    fluid::advect_field(expected.data(), copy.data(), copy.data(), V.data(), fluid::EDGE_COPY,
                        0.2f);
    fluid::advect_field(d.data(), U.data(), U.data(), V.data(), fluid::EDGE_COPY, 0.2f);
    EXPECT_EQ(d, expected);
}

}  // namespace
