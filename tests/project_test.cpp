// project_test.cpp - pressure projection: invariants of still and uniform
// flows, obstacle cells, and the ring of all four fields.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "fluid.hpp"
#include "reference_solver.hpp"
#include "test_support.hpp"

namespace {

using fluid::cell_index;

struct Fields {
    std::vector<float> U, V, P, DIV;
    Fields()
        : U(fluid::FIELD_SIZE, 0.0f),
          V(fluid::FIELD_SIZE, 0.0f),
          P(fluid::FIELD_SIZE, 9.0f),
          DIV(fluid::FIELD_SIZE, 9.0f) {}
    void project() { fluid::project_velocity(U.data(), V.data(), P.data(), DIV.data()); }
};

TEST(Project, StillFluidStaysStill) {
    fluid::clear_state();
    Fields f;
    f.project();
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
        ASSERT_EQ(f.U[k], 0.0f);
        ASSERT_EQ(f.V[k], 0.0f);
        ASSERT_EQ(f.P[k], 0.0f);  // the entry contents of P and DIV are not read
        ASSERT_EQ(f.DIV[k], 0.0f);
    }
}

TEST(Project, UniformFlowIsFreeOfDivergence) {
    fluid::clear_state();
    Fields f;
    f.V.assign(fluid::FIELD_SIZE, 1.0f);
    f.project();
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
        ASSERT_EQ(f.V[k], 1.0f) << k;
        ASSERT_EQ(f.U[k], 0.0f) << k;
        ASSERT_EQ(f.P[k], 0.0f) << k;
    }
}

TEST(Project, ObstacleCellsEndAtZeroAndRingsMirrorTheInterior) {
    auto s = std::make_unique<reference::State>();
    test_support::fill_state(*s, 21, {.obstacle_share = 0.2, .magnitude = 3.0f});
    test_support::load_globals(*s);
    fluid::project_velocity(fluid::u, fluid::v, fluid::u_src, fluid::v_src);
    for (int c = 0; c < fluid::FIELD_SIZE; ++c) {
        if (!fluid::obstacle[c]) continue;
        EXPECT_EQ(fluid::u[c], 0.0f);
        EXPECT_EQ(fluid::v[c], 0.0f);
        EXPECT_EQ(fluid::u_src[c], 0.0f);
        EXPECT_EQ(fluid::v_src[c], 0.0f);
    }
    for (const float* x : {fluid::u, fluid::v, fluid::u_src, fluid::v_src}) {
        for (int k = 1; k <= 126; ++k) {
            EXPECT_EQ(x[cell_index(0, k)], x[cell_index(1, k)]);
            EXPECT_EQ(x[cell_index(k, 127)], x[cell_index(k, 126)]);
        }
    }
    // And the whole result agrees with the literal kernel.
    reference::project_velocity(s->obstacle, s->u, s->v, s->u_src, s->v_src);
    auto now = std::make_unique<reference::State>();
    test_support::save_globals(*now);
    EXPECT_TRUE(test_support::same_state(*s, *now));
}

TEST(Project, DivergenceFlipsTowardsObstaclesAlongI) {
    // A single source of divergence next to an obstacle at (i + 1, j): the
    // divergence there is positive and is stored negated.
    fluid::clear_state();
    Fields f;
    const int c = cell_index(40, 40);
    fluid::obstacle[c + 1] = 1;
    f.U[c - 1] = 1.0f;  // q = (U[c+1] - U[c-1]) * k_div > 0
    f.project();
    EXPECT_LT(f.DIV[c], 0.0f);
    EXPECT_EQ(f.DIV[c], -(float)(-1.0 * (double)(-0.5f / 126.0f)));
    EXPECT_EQ(f.DIV[c + 1], 0.0f);
}

}  // namespace
