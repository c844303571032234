// edges_test.cpp - the edge rule in both modes.
#include <gtest/gtest.h>

#include <vector>

#include "fluid.hpp"

namespace {

using fluid::cell_index;

bool on_ring(int i, int j) {
    return i == 0 || j == 0 || i == 127 || j == 127;
}

TEST(EdgeRule, CellIndexHasStrideOneAlongI) {
    static_assert(fluid::cell_index(1, 64) == 8193);
    static_assert(fluid::cell_index(127, 127) == 16383);
    static_assert(fluid::FIELD_SIZE == 16384);
}

TEST(EdgeRule, ZeroModeClearsTheWholeRingAndNothingElse) {
    for (int mode : {fluid::EDGE_ZERO, 7, -1}) {  // any non-zero mode zeroes
        std::vector<float> x(fluid::FIELD_SIZE, 1.0f);
        fluid::apply_edges(x.data(), mode);
        for (int j = 0; j < 128; ++j) {
            for (int i = 0; i < 128; ++i) {
                EXPECT_EQ(x[cell_index(i, j)], on_ring(i, j) ? 0.0f : 1.0f) << i << "," << j;
            }
        }
    }
}

TEST(EdgeRule, CopyModeMirrorsTheInteriorAndAveragesCorners) {
    std::vector<float> x(fluid::FIELD_SIZE, -99.0f);
    for (int j = 1; j <= 126; ++j) {
        for (int i = 1; i <= 126; ++i) x[cell_index(i, j)] = (float)cell_index(i, j);
    }
    x[cell_index(126, 40)] = -3.5f;  // negative values are copied unchanged
    fluid::apply_edges(x.data(), fluid::EDGE_COPY);
    EXPECT_EQ(x[cell_index(0, 5)], 641.0f);
    EXPECT_EQ(x[cell_index(127, 40)], -3.5f);
    for (int k = 1; k <= 126; ++k) {
        EXPECT_EQ(x[cell_index(0, k)], x[cell_index(1, k)]);
        EXPECT_EQ(x[cell_index(127, k)], x[cell_index(126, k)]);
        EXPECT_EQ(x[cell_index(k, 0)], x[cell_index(k, 1)]);
        EXPECT_EQ(x[cell_index(k, 127)], x[cell_index(k, 126)]);
    }
    EXPECT_EQ(x[cell_index(0, 0)], 129.0f);  // 0.5 * (129 + 129)
    EXPECT_EQ(x[cell_index(0, 127)], 0.5f * (x[cell_index(0, 126)] + x[cell_index(1, 127)]));
    EXPECT_EQ(x[cell_index(127, 0)], 0.5f * (x[cell_index(127, 1)] + x[cell_index(126, 0)]));
    EXPECT_EQ(x[cell_index(127, 127)], 0.5f * (x[cell_index(127, 126)] + x[cell_index(126, 127)]));
    // The interior is untouched.
    EXPECT_EQ(x[cell_index(64, 64)], (float)cell_index(64, 64));
}

TEST(EdgeRule, CornerMeanIsFormedInDouble) {
    // Two values whose float sum overflows; the mean in double does not.
    std::vector<float> x(fluid::FIELD_SIZE, 0.0f);
    x[cell_index(1, 1)] = 3.0e38f;
    fluid::apply_edges(x.data(), fluid::EDGE_COPY);
    EXPECT_EQ(x[cell_index(0, 0)], 3.0e38f);
}

}  // namespace
