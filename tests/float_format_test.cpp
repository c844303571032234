// float_format_test.cpp - format_fixed6 against glibc's printf("%f")
// (report_text::printf_f), and the console report against a report built
// with it.
#include "float_format.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bit_cast.hpp"
#include "first_difference.hpp"
#include "fluid.hpp"
#include "report_text.hpp"
#include "viewer.hpp"
#include "viewer_support.hpp"

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define FLOAT_FORMAT_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FLOAT_FORMAT_TEST_SANITIZED 1
#endif

// Random bit patterns per sweep. Sanitized builds run several times slower,
// so they check fewer; FLOAT_FORMAT_PATTERNS overrides the count.
long long sweep_count() {
    if (const char* env = std::getenv("FLOAT_FORMAT_PATTERNS")) return std::atoll(env);
#ifdef FLOAT_FORMAT_TEST_SANITIZED
    return 1000000;
#else
    return 3000000;
#endif
}

float from_bits(std::uint32_t bits) {
    return fluid::bit_cast<float>(bits);
}

// Compares format_fixed6 with snprintf("%f") for one value, including the
// returned end and that nothing is written past it.
::testing::AssertionResult formats_like_printf(float value) {
    char expected[64];
    const int n = report_text::printf_f(expected, sizeof expected, value);
    char out[fluid::FIXED6_MAX_CHARS + 8];
    std::memset(out, '#', sizeof out);
    const char* end = fluid::format_fixed6(out, value);
    const std::ptrdiff_t len = end - out;
    bool ok = len == n && len <= fluid::FIXED6_MAX_CHARS && std::memcmp(out, expected, n) == 0;
    for (std::size_t k = (std::size_t)std::max<std::ptrdiff_t>(len, 0); ok && k < sizeof out; ++k)
        ok = out[k] == '#';
    if (ok) return ::testing::AssertionSuccess();
    const std::size_t shown = len < 0 ? 0 : std::min<std::size_t>((std::size_t)len, sizeof out);
    return ::testing::AssertionFailure()
           << "bits 0x" << std::hex << fluid::bit_cast<std::uint32_t>(value) << std::dec
           << ": printf \"" << expected << "\", format_fixed6 \"" << std::string(out, shown)
           << "\" (length " << len << ")";
}

// Checks every value and stops after a few failures to keep the log short.
template <typename Next>
void check_many(long long count, Next next) {
    int failures = 0;
    for (long long k = 0; k < count && failures < 10; ++k) {
        const auto result = formats_like_printf(next());
        if (!result) {
            ADD_FAILURE() << result.message();
            ++failures;
        }
    }
}

TEST(FormatFixed6, KnownTexts) {
    const std::pair<float, const char*> cases[] = {
        {0.0f, "0.000000"},
        {-0.0f, "-0.000000"},
        {-1.0e-7f, "-0.000000"},
        {0.0078125f, "0.007812"},  // tie, rounds to even
        {0.0234375f, "0.023438"},  // tie, rounds to even
        {0.9999995f, "1.000000"},  // carry into the integer part
        {-7.9999995f, "-8.000000"},
        {16777216.0f, "16777216.000000"},
        {FLT_MAX, "340282346638528859811704183484516925440.000000"},
        {-FLT_MAX, "-340282346638528859811704183484516925440.000000"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
        {from_bits(0x7FC00000u), "nan"},
        {from_bits(0xFFC00000u), "-nan"},
        {from_bits(0x7F800001u), "nan"},
        {from_bits(0xFFFFFFFFu), "-nan"},
    };
    for (const auto& [value, text] : cases) {
        char out[fluid::FIXED6_MAX_CHARS];
        EXPECT_EQ(std::string(out, fluid::format_fixed6(out, value)), text);
    }
}

TEST(FormatFixed6, SpecialAndBoundaryValuesMatchPrintf) {
    std::vector<float> values;
    const std::uint32_t patterns[] = {
        0x00000000u, 0x00000001u, 0x007FFFFFu, 0x00800000u, 0x7F7FFFFFu, 0x7F7FFFFEu, 0x7F800000u,
        0x7F800001u, 0x7FBFFFFFu, 0x7FC00000u, 0x7FC00001u, 0x7FFFFFFFu, 0x7FD55555u, 0x3F800000u,
        0x3F7FFFFFu, 0x4B7FFFFFu, 0x4B800000u, 0x5F7FFFFFu, 0x5F800000u, 0x5F800001u,
    };
    for (std::uint32_t bits : patterns) values.push_back(from_bits(bits));
    for (int e = -149; e <= 127; ++e) values.push_back(std::ldexp(1.0f, e));
    for (int e = -45; e <= 38; ++e) values.push_back((float)std::pow(10.0, e));
    // Halfway points between six-decimal steps and where rounding carries.
    const double near[] = {0.0000005,      0.0000015, 0.0000025,  0.9999995, 1.0000005,
                           7.9999995,      9.9999995, 99.9999995, 0.5,       999999.5,
                           999999.9999995, 8388607.5, 16777215.0};
    for (double d : near) values.push_back((float)d);
    // Ties: odd multiples of 1/128 are the floats exactly halfway between two
    // six-decimal values.
    for (int k = 0; k < 65536; ++k) values.push_back((float)k / 128.0f);

    const std::size_t exact = values.size();
    for (std::size_t k = 0; k < exact; ++k) {
        float x = values[k];
        float below = x, above = x;
        for (int step = 0; step < 3; ++step) {
            below = std::nextafter(below, -INFINITY);
            above = std::nextafter(above, INFINITY);
            values.push_back(below);
            values.push_back(above);
        }
    }
    std::size_t k = 0;
    check_many((long long)values.size() * 2, [&] {
        const float x = values[k / 2];
        return (k++ % 2 == 0) ? x : -x;
    });
}

TEST(FormatFixed6, MatchesPrintfOnRandomBitPatterns) {
    std::mt19937 rng(20240611u);
    check_many(sweep_count(), [&] { return from_bits((std::uint32_t)rng()); });
}

// Uniform bit patterns rarely land where decimals need rounding; this sweep
// draws only magnitudes from 2^-22 to 2^24, and values next to the points
// halfway between two six-decimal steps.
TEST(FormatFixed6, MatchesPrintfWhereDecimalsRound) {
    std::mt19937 rng(77u);
    check_many(sweep_count() / 2, [&] {
        const std::uint32_t exponent = 105u + rng() % 46u;
        return from_bits((rng() & 0x807FFFFFu) | (exponent << 23));
    });
    std::uniform_int_distribution<int> micro(0, 999999);
    std::uniform_int_distribution<int> log2_whole(0, 24);
    std::uniform_int_distribution<int> step(-2, 2);
    check_many(sweep_count() / 2, [&] {
        const double whole = std::floor(std::ldexp(1.0, log2_whole(rng)) * (rng() / 4294967296.0));
        float x = (float)(whole + (micro(rng) + 0.5) / 1e6);
        for (int s = step(rng); s != 0; s += s < 0 ? 1 : -1)
            x = std::nextafter(x, s < 0 ? -INFINITY : INFINITY);
        return (rng() & 1) ? -x : x;
    });
}

// ---- The report -------------------------------------------------------------

// The report printf would print of the current fields and this total.
std::string printf_report(float total) {
    return report_text::report(fluid::density, fluid::u, fluid::v, total);
}

// Equality of two long texts, reporting where they first differ.
using first_difference::same_text;

// Fields as a simulation leaves them, plus the values that print oddly.
void fill_fields(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const float odd[] = {-0.0f,
                         -1.0e-9f,
                         1.0e-40f,
                         3.0e38f,
                         -3.0e38f,
                         INFINITY,
                         -INFINITY,
                         from_bits(0x7FC00000u),
                         from_bits(0xFFC00000u),
                         0.0078125f};
    float* fields[] = {fluid::density, fluid::u, fluid::v};
    for (float* f : fields) {
        for (int k = 0; k < fluid::FIELD_SIZE; ++k) {
            const double r = unit(rng);
            if (r < 0.3) {
                f[k] = 0.0f;
            } else if (r < 0.6) {
                f[k] = (float)((unit(rng) - 0.5) * 1e-3);
            } else if (r < 0.95) {
                f[k] = (float)((unit(rng) - 0.5) * 200.0);
            } else if (r < 0.99) {
                f[k] = (float)((unit(rng) - 0.5) * 1e12);
            } else {
                f[k] = odd[rng() % (sizeof odd / sizeof odd[0])];
            }
        }
    }
}

// Under node (the web build) descriptor 1 cannot be redirected to a file:
// Emscripten's dup of it fails. There the report's bytes are checked by the
// browser tests, which compare the page's console lines with the desktop
// program's report.
#ifdef __EMSCRIPTEN__
#define SKIP_WITHOUT_STDOUT_REDIRECTION() GTEST_SKIP() << "standard output cannot be redirected"
#else
#define SKIP_WITHOUT_STDOUT_REDIRECTION() (void)0
#endif

TEST(Report, MatchesPrintfByteForByte) {
    SKIP_WITHOUT_STDOUT_REDIRECTION();
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        fill_fields(seed);
        const float total = seed == 3u ? -NAN : 1234.5678f * (float)seed;
        const std::string actual =
            test_support::capture_stdout([&] { fluid::print_report(total); });
        EXPECT_TRUE(same_text(printf_report(total), actual)) << "seed " << seed;
    }
}

// A report to a full device or a closed descriptor is dropped without
// retrying, and the next report to a working stdout comes out whole.
TEST(Report, WriteFailuresAreIgnored) {
    SKIP_WITHOUT_STDOUT_REDIRECTION();
    fill_fields(9u);
    std::fflush(stdout);
    const int saved = dup(1);
    const int full = open("/dev/full", O_WRONLY);
    if (full >= 0) {
        dup2(full, 1);
        close(full);
        fluid::print_report(1.0f);
        fluid::dump_field(fluid::u);
        std::fflush(stdout);
    }
    close(1);
    fluid::print_report(2.0f);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::clearerr(stdout);

    const std::string actual = test_support::capture_stdout([] { fluid::print_report(3.0f); });
    EXPECT_TRUE(same_text(printf_report(3.0f), actual));
}

}  // namespace
