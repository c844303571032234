// solver_equivalence_test.cpp - the vectorised kernels against the literal
// reference, bit for bit, on seeded random states, at every instruction-set
// level this CPU supports, the portable one included.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fluid.hpp"
#include "kernels.hpp"
#include "reference_solver.hpp"
#include "test_support.hpp"

namespace {

using fluid::detail::Isa;
using test_support::same_field;
using test_support::same_state;
using test_support::Scene;

// A named kind of random state.
struct Case {
    const char* name;
    Scene scene;
    double negative_zero_share = 0.0;  // share of cells then set to -0
};

const Case cases[] = {
    {"plain", {.magnitude = 1.0f}},
    {"zero_ring", {.magnitude = 3.0f, .random_ring = false}},
    {"dense_obstacles", {.obstacle_share = 0.45, .magnitude = 2.0f}},
    {"some_obstacles_huge", {.obstacle_share = 0.1, .magnitude = 1.0e30f}},
    {"huge", {.magnitude = 3.0e38f}},
    {"specials", {.obstacle_share = 0.1, .magnitude = 1.0f, .special_share = 0.05}},
    {"rare_specials", {.magnitude = 1.0f, .special_share = 0.0005}},
    {"negative_zeros", {.obstacle_share = 0.05, .magnitude = 1.0f}, 0.6},
    {"sparse_negative_zeros", {.magnitude = 1.0f}, 0.002},
    // Few enough -0 cells for the rate-0 diffusion to replay them, many
    // next to the ring.
    {"scattered_negative_zeros", {.obstacle_share = 0.05, .magnitude = 1.0f}, 0.045},
    {"all_negative_zeros", {.magnitude = 1.0f}, 1.0},
};

// Fills s from a seed; some cases then turn a share of cells into -0.
void make_state(reference::State& s, const Case& c, std::uint32_t seed) {
    test_support::fill_state(s, seed, c.scene);
    if (c.negative_zero_share <= 0.0) return;
    std::mt19937 rng(seed ^ 0x9e3779b9u);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (float* f : {s.u, s.v, s.u_src, s.v_src, s.density, s.density_src}) {
        for (int k = 0; k < reference::SIZE; ++k) {
            if (unit(rng) < c.negative_zero_share) f[k] = -0.0f;
        }
    }
}

// The instruction-set levels to check: all of them up to what the CPU has
// (on other architectures than x86-64 the portable one alone).
std::vector<Isa> levels() {
    std::vector<Isa> out;
    for (Isa level : {Isa::portable, Isa::sse2, Isa::avx2, Isa::avx512}) {
        if (static_cast<int>(level) <= static_cast<int>(fluid::detail::best_isa())) {
            out.push_back(level);
        }
    }
    return out;
}

class Equivalence : public ::testing::TestWithParam<Isa> {
  protected:
    void SetUp() override {
        ASSERT_EQ(fluid::detail::force_isa(GetParam()), GetParam());
        expected = std::make_unique<reference::State>();
        actual = std::make_unique<reference::State>();
    }
    void TearDown() override { fluid::detail::force_isa(fluid::detail::best_isa()); }

    // Loads case c with a seed into both the reference state and the globals.
    void load(const Case& c, std::uint32_t seed) {
        make_state(*expected, c, seed);
        test_support::load_globals(*expected);
    }
    // Compares the globals with the reference state.
    ::testing::AssertionResult agree() {
        test_support::save_globals(*actual);
        return same_state(*expected, *actual);
    }

    std::unique_ptr<reference::State> expected;
    std::unique_ptr<reference::State> actual;
};

constexpr int seeds_per_case = 2;

TEST_P(Equivalence, EdgesAndSources) {
    for (const Case& c : cases) {
        for (std::uint32_t seed = 1; seed <= seeds_per_case; ++seed) {
            SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
            load(c, seed);
            reference::apply_edges(expected->u, fluid::EDGE_COPY);
            fluid::apply_edges(fluid::u, fluid::EDGE_COPY);
            reference::apply_edges(expected->v, fluid::EDGE_ZERO);
            fluid::apply_edges(fluid::v, fluid::EDGE_ZERO);
            reference::accumulate_source(expected->density, expected->density_src, 0.2f);
            fluid::accumulate_source(fluid::density, fluid::density_src, 0.2f);
            reference::accumulate_source(expected->u_src, expected->v_src, -3.5f);
            fluid::accumulate_source(fluid::u_src, fluid::v_src, -3.5f);
            ASSERT_TRUE(agree());
        }
    }
}

TEST_P(Equivalence, DiffusionAtRateZero) {
    // The velocity step's diffusion, whose coefficient is +0; x holds
    // whatever it held (a garbage starting guess).
    for (const Case& c : cases) {
        for (std::uint32_t seed = 1; seed <= seeds_per_case; ++seed) {
            SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
            load(c, seed);
            reference::diffuse_field(expected->obstacle, expected->u, expected->u_src,
                                     fluid::EDGE_COPY, 0.0f, 0.2f);
            fluid::diffuse_field(fluid::u, fluid::u_src, fluid::EDGE_COPY, 0.0f, 0.2f);
            reference::diffuse_field(expected->obstacle, expected->density, expected->density_src,
                                     fluid::EDGE_ZERO, 0.0f, 0.2f);
            fluid::diffuse_field(fluid::density, fluid::density_src, fluid::EDGE_ZERO, 0.0f, 0.2f);
            ASSERT_TRUE(agree());
        }
    }
}

TEST_P(Equivalence, DiffusionAtRateZeroKeepsOrLosesNegativeZeros) {
    // At rate +0 a fluid cell whose x0 is -0 stays -0 only while the sum of
    // its neighbours is negative or -0. A corner block of such cells, walled
    // by negative cells and the copied ring, stays -0, except that one
    // positive cell in the starting guess turns its lower neighbours to +0 in
    // the first sweep, and +0 then spreads from there sweep by sweep. Where
    // that front ends after 20 sweeps depends on every sweep being exact,
    // the first one (which reads the guess) included.
    for (int seed_at : {8, 14, 20}) {
        SCOPED_TRACE("positive guess at " + std::to_string(seed_at));
        load(cases[0], 30);
        for (int j = 1; j <= 126; ++j) {
            for (int i = 1; i <= 126; ++i) {
                const int c = fluid::cell_index(i, j);
                const bool block = i <= 28 && j <= 28;
                expected->obstacle[c] = fluid::obstacle[c] = 0;
                expected->u[c] = fluid::u[c] = block ? -0.0f : -1.0f - (float)(i % 3);
                if (block) expected->u_src[c] = fluid::u_src[c] = -0.0f;
            }
        }
        for (int k = 0; k < 128; ++k) {
            for (int c : {fluid::cell_index(0, k), fluid::cell_index(k, 0)}) {
                expected->u_src[c] = fluid::u_src[c] = -0.0f;
            }
        }
        const int e = fluid::cell_index(seed_at, seed_at);
        expected->u_src[e] = fluid::u_src[e] = 0.5f;
        reference::diffuse_field(expected->obstacle, expected->u, expected->u_src, fluid::EDGE_COPY,
                                 0.0f, 0.2f);
        fluid::diffuse_field(fluid::u, fluid::u_src, fluid::EDGE_COPY, 0.0f, 0.2f);
        ASSERT_TRUE(agree());
        // The front has moved; from far enough it has not reached the corner.
        if (seed_at >= 14) {
            EXPECT_TRUE(std::signbit(fluid::u_src[fluid::cell_index(1, 1)]));
        }
        EXPECT_FALSE(std::signbit(fluid::u_src[fluid::cell_index(seed_at - 1, seed_at)]));
    }
}

TEST_P(Equivalence, DiffusionWithRate) {
    // The density rate, a small rate, and a negative zero rate (which is not
    // the +0 shortcut).
    const float rates[][2] = {{0.5f, 0.2f}, {1.0e-4f, 0.2f}, {-0.0f, 0.2f}};
    for (const Case& c : cases) {
        for (const auto& [rate, dt] : rates) {
            SCOPED_TRACE(std::string(c.name) + " rate " + std::to_string(rate));
            load(c, 3);
            reference::diffuse_field(expected->obstacle, expected->density, expected->density_src,
                                     fluid::EDGE_ZERO, rate, dt);
            fluid::diffuse_field(fluid::density, fluid::density_src, fluid::EDGE_ZERO, rate, dt);
            reference::diffuse_field(expected->obstacle, expected->v, expected->v_src,
                                     fluid::EDGE_COPY, rate, dt);
            fluid::diffuse_field(fluid::v, fluid::v_src, fluid::EDGE_COPY, rate, dt);
            ASSERT_TRUE(agree());
        }
    }
}

TEST_P(Equivalence, Advection) {
    for (const Case& c : cases) {
        for (std::uint32_t seed = 1; seed <= seeds_per_case; ++seed) {
            SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
            load(c, seed);
            // Zero mode with separate fields, then copy mode with d0 aliasing
            // U and V as the velocity step does, both fields in one pass.
            // Large time steps reach the clamps with ordinary velocities.
            for (float dt : {0.2f, 7.0f}) {
                reference::advect_field(expected->obstacle, expected->density,
                                        expected->density_src, expected->u, expected->v,
                                        fluid::EDGE_ZERO, dt);
                fluid::advect_field(fluid::density, fluid::density_src, fluid::u, fluid::v,
                                    fluid::EDGE_ZERO, dt);
                reference::advect_field(expected->obstacle, expected->u, expected->u_src,
                                        expected->u_src, expected->v_src, fluid::EDGE_COPY, dt);
                reference::advect_field(expected->obstacle, expected->v, expected->v_src,
                                        expected->u_src, expected->v_src, fluid::EDGE_COPY, dt);
                fluid::advect_two_fields(fluid::u, fluid::u_src, fluid::v, fluid::v_src,
                                         fluid::u_src, fluid::v_src, fluid::EDGE_COPY, dt);
                ASSERT_TRUE(agree()) << "dt " << dt;
            }
        }
    }
}

TEST_P(Equivalence, Projection) {
    for (const Case& c : cases) {
        for (std::uint32_t seed = 1; seed <= seeds_per_case; ++seed) {
            SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
            load(c, seed);
            // P and DIV hold garbage on entry, which must not be read.
            reference::project_velocity(expected->obstacle, expected->u_src, expected->v_src,
                                        expected->u, expected->v);
            fluid::project_velocity(fluid::u_src, fluid::v_src, fluid::u, fluid::v);
            ASSERT_TRUE(agree());
        }
    }
}

TEST_P(Equivalence, ManyFrames) {
    // Whole frames as the viewer runs them, long enough for the fields to
    // mix; special values spread through everything.
    const Case frame_cases[] = {cases[0], cases[2], cases[5], cases[7], cases[9]};
    for (const Case& c : frame_cases) {
        SCOPED_TRACE(c.name);
        load(c, 11);
        for (int frame = 0; frame < 6; ++frame) {
            reference::step_velocity(*expected, fluid::viscosity, fluid::time_step);
            reference::step_density(*expected, fluid::diffusion_rate, fluid::time_step);
            fluid::step_velocity(fluid::time_step);
            fluid::step_density(fluid::diffusion_rate, fluid::time_step);
            ASSERT_TRUE(agree()) << "frame " << frame;
        }
    }
}

TEST_P(Equivalence, ObstaclesChangingBetweenFrames) {
    // Cached obstacle data must follow edits made between calls.
    load(cases[2], 5);
    for (int frame = 0; frame < 3; ++frame) {
        const int c = fluid::cell_index(10 + 20 * frame, 64);
        expected->obstacle[c] = fluid::obstacle[c] = !fluid::obstacle[c];
        expected->obstacle[c + 1] = fluid::obstacle[c + 1] = 0;
        reference::step_velocity(*expected, fluid::viscosity, fluid::time_step);
        reference::step_density(*expected, fluid::diffusion_rate, fluid::time_step);
        fluid::step_velocity(fluid::time_step);
        fluid::step_density(fluid::diffusion_rate, fluid::time_step);
        ASSERT_TRUE(agree()) << "frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, Equivalence, ::testing::ValuesIn(levels()),
                         [](const ::testing::TestParamInfo<Isa>& info) {
                             return std::string(fluid::detail::isa_name(info.param));
                         });

// The levels built but beyond this CPU are not checked above; this test says
// which, as a skip that CTest lists, rather than passing without them.
TEST(IsaLevels, EveryBuiltLevelRanOnThisCpu) {
    std::string missing;
    if (FLUIDS_X86_KERNELS) {
        for (Isa level : {Isa::sse2, Isa::avx2, Isa::avx512}) {
            if (static_cast<int>(level) > static_cast<int>(fluid::detail::best_isa())) {
                missing +=
                    std::string(missing.empty() ? "" : ", ") + fluid::detail::isa_name(level);
            }
        }
    }
    if (!missing.empty()) GTEST_SKIP() << "not checked, this CPU lacks them: " << missing;
}

#if FLUIDS_X86_KERNELS
TEST(ReciprocalDivision, RoundsToTheSameFloatNextToRoundingBoundaries) {
    // The AVX-512 diffusion multiplies by 1 / den where that provably gives
    // the same float as dividing. Random quotients almost never come near a
    // float rounding boundary, so aim at them: a few double ulps either side
    // of the midpoints between floats, normal and subnormal, for many
    // denominators including the density step's.
    if (fluid::detail::best_isa() != Isa::avx512) GTEST_SKIP() << "no AVX-512F";
    std::mt19937_64 rng(41);
    std::uniform_real_distribution<double> denominators(1.0 + 1e-9, 1.0e5);
    std::uniform_int_distribution<int> exponents(-150, 127);
    const double density_den = (double)1587.6f * 4.0 + 1.0;
    int checked = 0;
    for (int n = 0; n < 200000; ++n) {
        const double den = n % 4 == 0 ? density_den : denominators(rng);
        const float f = std::ldexp(1.0f + (float)(rng() % (1u << 23)) / 8388608.0f, exponents(rng));
        if (!std::isfinite(f) || f == 0.0f) continue;
        double q = (double)f + ((double)std::nextafter(f, INFINITY) - (double)f) / 2.0;
        const int shift = (int)(rng() % 21) - 10;
        for (int s = 0; s < std::abs(shift); ++s) q = std::nextafter(q, shift * INFINITY);
        if (rng() % 2 != 0) q = -q;
        const double num = q * den;
        const float fast = (float)fluid::detail::avx512_quotient(num, den);
        ASSERT_TRUE(test_support::same_value((float)(num / den), fast))
            << std::hexfloat << num << " / " << den;
        ++checked;
    }
    EXPECT_GT(checked, 150000);
    const double specials[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, 1e-300, -3e38};
    for (double num : specials) {
        EXPECT_TRUE(test_support::same_value(
            (float)(num / density_den), (float)fluid::detail::avx512_quotient(num, density_den)));
    }
}
#endif

TEST(IsaSelection, ForcingIsCappedAtWhatTheCpuHas) {
    const Isa best = fluid::detail::best_isa();
    EXPECT_EQ(fluid::detail::force_isa(Isa::avx512), best);
    EXPECT_EQ(fluid::detail::force_isa(Isa::sse2), FLUIDS_X86_KERNELS ? Isa::sse2 : best);
    EXPECT_EQ(fluid::detail::force_isa(Isa::portable), Isa::portable);
    EXPECT_EQ(fluid::detail::active_isa(), Isa::portable);
    if (!FLUIDS_X86_KERNELS) {
        EXPECT_EQ(best, Isa::portable);
    }
    fluid::detail::force_isa(best);
}

}  // namespace
