// float_format.cpp - six-decimal fixed-point text of floats from integer
// arithmetic.
//
// A finite float is m * 2^e exactly, with m < 2^24 and -149 <= e <= 104.
//  - e >= 0: the value is an integer below 2^128 and has no decimals to
//    round; it is printed from a 64-bit or 128-bit integer.
//  - e < 0: the integer part is m >> -e and the fractional part is f / 2^-e
//    with f < 2^24. Scaled by 10^6 the fraction is (f * 10^6) / 2^-e, whose
//    numerator stays below 2^44, so the six decimals and the remainder that
//    decides the rounding come out of one multiply and one shift, exactly.
//    Below 2^-21 nothing can round up to 0.000001, which covers all
//    subnormals and most tiny values without any arithmetic.
#include "float_format.hpp"

#include <cstdint>
#include <cstring>

#include "bit_cast.hpp"

namespace fluid {

namespace {

using u128 = unsigned __int128;

// "00", "01", ... "99": two digits per table look-up.
struct DigitPairs {
    char text[200];
};

constexpr DigitPairs make_digit_pairs() {
    DigitPairs t{};
    for (int i = 0; i < 100; ++i) {
        t.text[2 * i] = (char)('0' + i / 10);
        t.text[2 * i + 1] = (char)('0' + i % 10);
    }
    return t;
}

constexpr DigitPairs DIGIT_PAIRS = make_digit_pairs();

// Writes v < 100 as exactly two digits.
inline void put2(char* p, std::uint32_t v) {
    std::memcpy(p, DIGIT_PAIRS.text + 2 * v, 2);
}

// Writes v < 10^6 as exactly six digits.
inline void put6(char* p, std::uint32_t v) {
    const std::uint32_t low4 = v % 10000;
    put2(p, v / 10000);
    put2(p + 2, low4 / 100);
    put2(p + 4, low4 % 100);
}

// Writes v < 10^8 as exactly eight digits.
inline void put8(char* p, std::uint32_t v) {
    const std::uint32_t high4 = v / 10000;
    const std::uint32_t low4 = v % 10000;
    put2(p, high4 / 100);
    put2(p + 2, high4 % 100);
    put2(p + 4, low4 / 100);
    put2(p + 6, low4 % 100);
}

// Writes v < 10^4 as exactly four digits.
inline void put4(char* p, std::uint32_t v) {
    put2(p, v / 100);
    put2(p + 2, v % 100);
}

// Writes v < 10^4 without leading zeros ("0" for zero); returns the end.
inline char* put_below_10k(char* p, std::uint32_t v) {
    if (v < 100) {
        if (v < 10) {
            *p = (char)('0' + v);
            return p + 1;
        }
        put2(p, v);
        return p + 2;
    }
    if (v < 1000) {
        *p = (char)('0' + v / 100);
        put2(p + 1, v % 100);
        return p + 3;
    }
    put4(p, v);
    return p + 4;
}

// Writes v without leading zeros; returns the end.
inline char* put_u32(char* p, std::uint32_t v) {
    if (v < 10000) return put_below_10k(p, v);
    if (v < 100000000) {
        p = put_below_10k(p, v / 10000);
        put4(p, v % 10000);
        return p + 4;
    }
    p = put_below_10k(p, v / 100000000);  // below 43
    put8(p, v % 100000000);
    return p + 8;
}

// Writes v without leading zeros; returns the end.
char* put_u64(char* p, std::uint64_t v) {
    if (v <= UINT32_MAX) return put_u32(p, (std::uint32_t)v);
    // Split off the eight lowest digits; at most twice for 20 digits.
    p = put_u64(p, v / 100000000);
    put8(p, (std::uint32_t)(v % 100000000));
    return p + 8;
}

// Writes v without leading zeros; returns the end. Only integers of 2^64 and
// above come here, which is rare in a report, so plain 128-bit division is
// good enough.
char* put_u128(char* p, u128 v) {
    if ((v >> 64) == 0) return put_u64(p, (std::uint64_t)v);
    constexpr std::uint64_t TEN_19 = 10000000000000000000ull;
    p = put_u128(p, v / TEN_19);
    // The low part as exactly nineteen digits: 3 + 8 + 8.
    const std::uint64_t low = (std::uint64_t)(v % TEN_19);
    const std::uint32_t top3 = (std::uint32_t)(low / 10000000000000000ull);
    const std::uint64_t low16 = low % 10000000000000000ull;
    p[0] = (char)('0' + top3 / 100);
    put2(p + 1, top3 % 100);
    put8(p + 3, (std::uint32_t)(low16 / 100000000));
    put8(p + 11, (std::uint32_t)(low16 % 100000000));
    return p + 19;
}

}  // namespace

char* format_fixed6(char* out, float value) {
    const std::uint32_t bits = fluid::bit_cast<std::uint32_t>(value);
    // printf prints the sign bit as it is: "-0.000000", "-nan". Written
    // without a branch, as signs in a field are unpredictable.
    *out = '-';
    out += bits >> 31;
    const std::uint32_t biased = (bits >> 23) & 0xFF;
    const std::uint32_t stored = bits & 0x7FFFFF;
    if (biased == 0xFF) {
        std::memcpy(out, stored == 0 ? "inf" : "nan", 3);
        return out + 3;
    }

    // |value| = mant * 2^exp exactly.
    const std::uint32_t mant = biased == 0 ? stored : (stored | 0x800000);
    const int exp = (biased == 0 ? 1 : (int)biased) - 150;

    if (exp >= 0) {
        // mant < 2^24, so up to 2^40 the integer fits in 64 bits; FLT_MAX
        // needs 128.
        if (exp <= 40) {
            out = put_u64(out, (std::uint64_t)mant << exp);
        } else {
            out = put_u128(out, (u128)mant << exp);
        }
        std::memcpy(out, ".000000", 7);
        return out + 7;
    }

    const int shift = -exp;  // binary places after the point, 1 to 149
    if (shift > 44) {
        // |value| < 2^24 * 2^-45 = 2^-21, below half of 0.000001.
        std::memcpy(out, "0.000000", 8);
        return out + 8;
    }

    const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
    std::uint32_t whole = (std::uint32_t)((std::uint64_t)mant >> shift);
    // frac < 2^24 and 10^6 < 2^20: the product is exact in 64 bits.
    const std::uint64_t scaled = ((std::uint64_t)mant & mask) * 1000000;
    std::uint32_t micros = (std::uint32_t)(scaled >> shift);
    const std::uint64_t rest = scaled & mask;
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    // Round half to even, then carry 1.000000 into the integer part; both
    // without branches.
    micros += (std::uint32_t)(rest > half) | ((std::uint32_t)(rest == half) & micros & 1u);
    const std::uint32_t carry = (std::uint32_t)(micros == 1000000);
    whole += carry;
    micros -= carry * 1000000;
    out = put_u32(out, whole);
    *out++ = '.';
    put6(out, micros);
    return out + 6;
}

}  // namespace fluid
