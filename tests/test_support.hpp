// test_support.hpp - seeded random states and bitwise comparison of fields.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "bit_cast.hpp"
#include "fluid.hpp"
#include "globals_copy.hpp"
#include "reference_solver.hpp"

namespace test_support {

/// How a random state is filled.
struct Scene {
    double obstacle_share = 0.0;  ///< probability of a solid interior cell
    float magnitude = 1.0f;       ///< field values are uniform in [-magnitude, magnitude]
    double special_share = 0.0;   ///< probability of NaN, +-inf, +-0 or a huge value
    bool random_ring = true;      ///< fill ring cells too (else leave them zero)
};

/// A value drawn from the scene's distribution.
inline float random_value(std::mt19937& rng, const Scene& scene) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (unit(rng) < scene.special_share) {
        static const float specials[] = {
            std::numeric_limits<float>::quiet_NaN(),
            -std::numeric_limits<float>::quiet_NaN(),
            std::numeric_limits<float>::infinity(),
            -std::numeric_limits<float>::infinity(),
            0.0f,
            -0.0f,
            3.0e38f,
            -3.0e38f,
            1.0e-40f,
            -1.0e-40f,
        };
        return specials[rng() % (sizeof specials / sizeof specials[0])];
    }
    return (float)((unit(rng) * 2.0 - 1.0) * scene.magnitude);
}

/// Fills a reference state from a seed.
inline void fill_state(reference::State& s, std::uint32_t seed, const Scene& scene) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    float* fields[] = {s.u, s.v, s.u_src, s.v_src, s.density, s.density_src};
    for (float* f : fields) {
        for (int j = 0; j < reference::N; ++j) {
            for (int i = 0; i < reference::N; ++i) {
                bool ring = i == 0 || j == 0 || i == 127 || j == 127;
                f[reference::idx(i, j)] =
                    (ring && !scene.random_ring) ? 0.0f : random_value(rng, scene);
            }
        }
    }
    for (int j = 0; j < reference::N; ++j) {
        for (int i = 0; i < reference::N; ++i) {
            bool interior = i >= 1 && i <= 126 && j >= 1 && j <= 126;
            s.obstacle[reference::idx(i, j)] = interior && unit(rng) < scene.obstacle_share;
        }
    }
}

/// Same bits, or both NaN (any payload, any sign).
inline bool same_value(float a, float b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    return fluid::bit_cast<std::uint32_t>(a) == fluid::bit_cast<std::uint32_t>(b);
}

/// Compares two fields value by value; reports the first difference.
inline ::testing::AssertionResult same_field(const char* what, const float* expected,
                                             const float* actual) {
    for (int k = 0; k < reference::SIZE; ++k) {
        if (!same_value(expected[k], actual[k])) {
            return ::testing::AssertionFailure()
                   << what << " differs at cell (" << k % 128 << ", " << k / 128 << "): expected "
                   << expected[k] << " (0x" << std::hex
                   << fluid::bit_cast<std::uint32_t>(expected[k]) << std::dec << "), got "
                   << actual[k] << " (0x" << std::hex << fluid::bit_cast<std::uint32_t>(actual[k])
                   << std::dec << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

/// Compares every field of two states.
inline ::testing::AssertionResult same_state(const reference::State& expected,
                                             const reference::State& actual) {
    const std::pair<const char*, std::pair<const float*, const float*>> fields[] = {
        {"u", {expected.u, actual.u}},
        {"v", {expected.v, actual.v}},
        {"u_src", {expected.u_src, actual.u_src}},
        {"v_src", {expected.v_src, actual.v_src}},
        {"density", {expected.density, actual.density}},
        {"density_src", {expected.density_src, actual.density_src}},
    };
    for (const auto& [name, pair] : fields) {
        auto r = same_field(name, pair.first, pair.second);
        if (!r) return r;
    }
    if (std::memcmp(expected.obstacle, actual.obstacle, sizeof expected.obstacle) != 0) {
        return ::testing::AssertionFailure() << "obstacle differs";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace test_support
