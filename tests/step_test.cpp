// step_test.cpp - the step drivers: field roles, the two integration checks
// of the frame advance, determinism and agreement with the reference.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "bit_cast.hpp"
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

// FNV-1a over the values of all seven fields, each value's 32 bits low byte
// first, so that the hash does not depend on the byte order of the machine.
// Every NaN counts as the same value: the sign and payload of a NaN made by
// an invalid operation differ between architectures (x86-64 sets the sign).
std::uint64_t hash_globals() {
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&](std::uint32_t bits) {
        for (int b = 0; b < 32; b += 8) hash = (hash ^ ((bits >> b) & 0xffu)) * 1099511628211ull;
    };
    for (const float* f :
         {fluid::u, fluid::v, fluid::u_src, fluid::v_src, fluid::density, fluid::density_src}) {
        for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
            mix(std::isnan(f[k]) ? 0x7fc00000u : fluid::bit_cast<std::uint32_t>(f[k]));
        }
    }
    for (int k = 0; k < fluid::FIELD_SIZE; ++k) mix((std::uint32_t)fluid::obstacle[k]);
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

TEST(StepDeterminism, SeededStatesHashToTheirGoldenValues) {
    // Obstacles, dense random values, huge values and non-finite ones, after
    // 1, 7 and 40 frames. The values were recorded on x86-64; the same on
    // another architecture means the same fields there. (The huge and the
    // non-finite states are all NaN but for their obstacles and zeros after
    // a few frames, so their later values repeat.)
    const test_support::Scene scenes[] = {
        {.obstacle_share = 0.45, .magnitude = 2.0f},
        {.obstacle_share = 0.1, .magnitude = 1.0e30f},
        {.magnitude = 3.0e38f},
        {.obstacle_share = 0.1, .magnitude = 1.0f, .special_share = 0.05},
        {.obstacle_share = 0.02, .magnitude = 1.0f},
    };
    const std::uint64_t golden[][3] = {
        {0xf5e2a5bb2999b575ull, 0xdf2a608924e48a42ull, 0x58776c3577e996d2ull},
        {0x9f6555e28f4ce265ull, 0x667eaa17f058f52cull, 0x7add1fb9e5bcfb36ull},
        {0x26c3f5db491de6c8ull, 0x0b2975bad581bbd1ull, 0x5a0c61c2666b7390ull},
        {0xcbf811d186c53f92ull, 0x8624dc70d2d2367cull, 0x125151e5daaa1187ull},
        {0x5a9ce060d832fd83ull, 0x2791e7a5149ee643ull, 0x2791e7a5149ee643ull},
        {0x0091cb3dcacd88a0ull, 0x2791e7a5149ee643ull, 0x2791e7a5149ee643ull},
        {0x1c9355cb5acbb4faull, 0x540cdb48f9dfdaf2ull, 0x540cdb48f9dfdaf2ull},
        {0x0db65b01c6b1be08ull, 0xc856103095e6ffa3ull, 0xc856103095e6ffa3ull},
        {0x667f820de824f5a8ull, 0xc0363a68a7553500ull, 0x4dbd82d94580600cull},
        {0x432322c089cef74eull, 0x98569c20a11bed3cull, 0x1fa02c7ea2bce85full},
    };
    auto s = std::make_unique<reference::State>();
    int n = 0;
    for (const auto& scene : scenes) {
        for (std::uint32_t seed : {1u, 2u}) {
            test_support::fill_state(*s, seed, scene);
            test_support::load_globals(*s);
            int frames = 0;
            for (int k = 0; k < 3; ++k) {
                for (; frames < (int[]){1, 7, 40}[k]; ++frames) frame();
                const std::uint64_t h = hash_globals();
                EXPECT_EQ(h, golden[n][k])
                    << "state " << n << " after " << frames << " frames: 0x" << std::hex << h;
            }
            ++n;
        }
    }
}

}  // namespace
