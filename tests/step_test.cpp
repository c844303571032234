// step_test.cpp - the step drivers: field roles, the two integration checks
// of the frame advance, determinism and agreement with the reference.
#include <gtest/gtest.h>

#include <memory>

#include "fluid.hpp"
#include "reference_solver.hpp"
#include "test_support.hpp"

namespace {

using fluid::cell_index;
using test_support::same_field;
using test_support::same_state;

// One simulated frame as the viewer runs it; returns the total density.
float frame() {
    fluid::step_velocity(fluid::time_step);
    fluid::step_density(fluid::diffusion_rate, fluid::time_step);
    return reference::total_density(fluid::density);
}

TEST(StepIntegration, FillSourceKeyGivesTheDocumentedTotals) {
    fluid::clear_state();
    // What key f writes at a window width of 512 (cell_px 4).
    fluid::density_src[cell_index(1, 64)] = 126 * 4.0f;
    fluid::v_src[cell_index(1, 64)] = 4.0f;
    EXPECT_EQ(frame(), 45.105431f);
    EXPECT_EQ(frame(), 31.938787f);
    EXPECT_EQ(frame(), 26.064955f);
}

TEST(StepIntegration, RightClickAtWindowCentreGivesTheDocumentedTotals) {
    fluid::clear_state();
    // What a right click at pixel (256, 256) of a 512 x 512 window writes.
    const int c = cell_index(64, 64);
    fluid::density_src[c] = 504.0f;
    fluid::u_src[c - 128] = -4.0f;
    fluid::v_src[c - 1] = -4.0f;
    fluid::u_src[c + 128] = 4.0f;
    fluid::v_src[c + 1] = 4.0f;
    EXPECT_EQ(frame(), 501.820404f);
    EXPECT_EQ(frame(), 501.923401f);
    EXPECT_EQ(frame(), 502.687286f);
}

TEST(StepDrivers, ZeroStateStaysZero) {
    fluid::clear_state();
    for (int n = 0; n < 3; ++n) frame();
    // Zero, though the divergence of a zero field comes out as -0.
    const float* fields[] = {fluid::u,     fluid::v,       fluid::u_src,
                             fluid::v_src, fluid::density, fluid::density_src};
    for (const float* f : fields) {
        for (int k = 0; k < fluid::FIELD_SIZE; ++k) ASSERT_EQ(f[k], 0.0f) << k;
    }
}

TEST(StepDrivers, DensityStepLeavesTheDiffusedDensityInItsSource) {
    auto s = std::make_unique<reference::State>();
    test_support::fill_state(*s, 7, {.obstacle_share = 0.1, .magnitude = 2.0f});
    test_support::load_globals(*s);
    fluid::step_density(fluid::diffusion_rate, fluid::time_step);

    // The same stages by hand with the literal kernels.
    reference::accumulate_source(s->density, s->density_src, fluid::time_step);
    reference::diffuse_field(s->obstacle, s->density, s->density_src, fluid::EDGE_ZERO,
                             fluid::diffusion_rate, fluid::time_step);
    EXPECT_TRUE(same_field("density_src", s->density_src, fluid::density_src));
    // Not cleared: a second step adds dt times it into density first.
    EXPECT_NE(fluid::density_src[cell_index(60, 60)], 0.0f);
}

TEST(StepDrivers, VelocityStepLeavesPressureAndDivergenceInTheSources) {
    auto s = std::make_unique<reference::State>();
    test_support::fill_state(*s, 8, {.magnitude = 1.0f});
    test_support::load_globals(*s);
    fluid::step_velocity(fluid::time_step);

    // The second projection's pressure and divergence come from the advected
    // velocity; the input written into the sources is gone.
    reference::step_velocity(*s, 0.0f, fluid::time_step);
    EXPECT_TRUE(same_field("u_src", s->u_src, fluid::u_src));
    EXPECT_TRUE(same_field("v_src", s->v_src, fluid::v_src));
    // Both are edge-copied fields: the ring mirrors the interior.
    EXPECT_EQ(fluid::u_src[cell_index(0, 40)], fluid::u_src[cell_index(1, 40)]);
    EXPECT_EQ(fluid::v_src[cell_index(40, 127)], fluid::v_src[cell_index(40, 126)]);
}

// A fixed scene with obstacles and sources: painted walls, a source column
// and a stirring velocity, stepped for a number of frames.
void build_fixed_scene() {
    fluid::clear_state();
    for (int i = 20; i <= 100; ++i) fluid::obstacle[cell_index(i, 70)] = 1;
    for (int j = 30; j <= 60; ++j) fluid::obstacle[cell_index(90, j)] = 1;
    for (int i = 5; i <= 15; ++i) {
        fluid::density_src[cell_index(i, 64)] = 504.0f;
        fluid::v_src[cell_index(i, 64)] = 4.0f;
        fluid::u_src[cell_index(i, 40)] = -2.0f;
    }
}

// FNV-1a over the bytes of all seven fields.
std::uint64_t hash_globals() {
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&](const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (std::size_t k = 0; k < n; ++k) hash = (hash ^ b[k]) * 1099511628211ull;
    };
    mix(fluid::u, sizeof fluid::u);
    mix(fluid::v, sizeof fluid::v);
    mix(fluid::u_src, sizeof fluid::u_src);
    mix(fluid::v_src, sizeof fluid::v_src);
    mix(fluid::density, sizeof fluid::density);
    mix(fluid::density_src, sizeof fluid::density_src);
    mix(fluid::obstacle, sizeof fluid::obstacle);
    return hash;
}

TEST(StepDeterminism, FixedSceneHashesToTheGoldenValue) {
    build_fixed_scene();
    for (int n = 0; n < 40; ++n) frame();
    const std::uint64_t first = hash_globals();
    build_fixed_scene();
    for (int n = 0; n < 40; ++n) frame();
    EXPECT_EQ(hash_globals(), first);
    // Any change to the numerics, however small, changes this value.
    EXPECT_EQ(first, 0xeb39dc88fcd02538ull) << std::hex << first;
}

TEST(StepDeterminism, FixedSceneMatchesTheReference) {
    build_fixed_scene();
    auto s = std::make_unique<reference::State>();
    test_support::save_globals(*s);
    for (int n = 0; n < 40; ++n) {
        frame();
        reference::step_velocity(*s, fluid::viscosity, fluid::time_step);
        reference::step_density(*s, fluid::diffusion_rate, fluid::time_step);
    }
    auto now = std::make_unique<reference::State>();
    test_support::save_globals(*now);
    EXPECT_TRUE(same_state(*s, *now));
}

}  // namespace
