// diffuse_test.cpp - source accumulation and implicit diffusion.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "fluid.hpp"
#include "reference_solver.hpp"
#include "test_support.hpp"

namespace {

using fluid::cell_index;

TEST(AccumulateSource, AddsDtTimesSourceOnEveryCellInDouble) {
    fluid::clear_state();
    fluid::density_src[cell_index(64, 64)] = 504.0f;
    fluid::density_src[cell_index(0, 7)] = 1.0f;  // ring cells are added too
    fluid::accumulate_source(fluid::density, fluid::density_src, 0.2f);
    EXPECT_EQ(fluid::density[cell_index(64, 64)], 100.8f);
    EXPECT_EQ(fluid::density[cell_index(0, 7)], 0.2f);
    EXPECT_EQ(fluid::density[cell_index(64, 65)], 0.0f);

    // The product is not rounded to float before the addition: on many values
    // the single-precision sum t + dt * s differs in its last bit.
    std::vector<float> t(fluid::FIELD_SIZE), s(fluid::FIELD_SIZE);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
        t[k] = unit(rng);
        s[k] = unit(rng);
    }
    const std::vector<float> before = t;
    fluid::accumulate_source(t.data(), s.data(), 0.2f);
    int single_differs = 0;
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
        ASSERT_EQ(t[k], (float)((double)before[k] + (double)0.2f * (double)s[k])) << k;
        single_differs += t[k] != before[k] + 0.2f * s[k];
    }
    EXPECT_GT(single_differs, 0);
}

TEST(DiffuseField, RateZeroCopiesFluidCellsAndZeroesObstacles) {
    fluid::clear_state();
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
        fluid::u[k] = (float)(k % 97) - 40.0f;
        fluid::u_src[k] = 1.0e6f;  // the starting guess does not matter
    }
    fluid::obstacle[cell_index(30, 30)] = 1;
    fluid::diffuse_field(fluid::u, fluid::u_src, fluid::EDGE_COPY, 0.0f, 0.2f);
    for (int j = 1; j <= 126; ++j) {
        for (int i = 1; i <= 126; ++i) {
            const int c = cell_index(i, j);
            EXPECT_EQ(fluid::u_src[c], fluid::obstacle[c] ? 0.0f : fluid::u[c]);
        }
    }
    EXPECT_EQ(fluid::u_src[cell_index(0, 9)], fluid::u_src[cell_index(1, 9)]);
}

TEST(DiffuseField, EnclosedCellReceivesItsSourceOverFourAPlusOne) {
    fluid::clear_state();
    const int c = cell_index(50, 50);
    for (int n : {c - 1, c + 1, c - 128, c + 128}) fluid::obstacle[n] = 1;
    fluid::density[c] = 10.0f;
    fluid::diffuse_field(fluid::density, fluid::density_src, fluid::EDGE_ZERO, 0.5f, 0.2f);
    const float a = (float)(0.5 * 0.2f * 126.0 * 126.0);
    EXPECT_EQ(fluid::density_src[c], (float)(10.0 / (4.0 * a + 1.0)));
    for (int n : {c - 1, c + 1, c - 128, c + 128}) EXPECT_EQ(fluid::density_src[n], 0.0f);
}

TEST(DiffuseField, EdgeModesSetTheRing) {
    for (int mode : {fluid::EDGE_ZERO, fluid::EDGE_COPY}) {
        auto s = std::make_unique<reference::State>();
        test_support::fill_state(*s, 11, {.obstacle_share = 0.05});
        test_support::load_globals(*s);
        fluid::diffuse_field(fluid::density, fluid::density_src, mode, 0.5f, 0.2f);
        for (int k = 1; k <= 126; ++k) {
            const float edge = fluid::density_src[cell_index(0, k)];
            EXPECT_EQ(edge, mode == fluid::EDGE_ZERO ? 0.0f : fluid::density_src[cell_index(1, k)]);
        }
    }
}

TEST(DiffuseField, SweepsAreInPlaceAndAscending) {
    // A single source cell: after the first sweep, cells after it in the
    // sweep order have already seen it, cells before it have not. A
    // descending or out-of-place sweep would give a different field.
    auto s = std::make_unique<reference::State>();
    *s = {};
    s->density[cell_index(64, 64)] = 100.0f;
    test_support::load_globals(*s);
    fluid::diffuse_field(fluid::density, fluid::density_src, fluid::EDGE_ZERO, 0.5f, 0.2f);
    reference::diffuse_field(s->obstacle, s->density, s->density_src, fluid::EDGE_ZERO, 0.5f, 0.2f);
    EXPECT_TRUE(test_support::same_field("density_src", s->density_src, fluid::density_src));
    EXPECT_GT(fluid::density_src[cell_index(65, 64)], fluid::density_src[cell_index(63, 64)]);
}

}  // namespace
