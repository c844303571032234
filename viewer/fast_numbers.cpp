// fast_numbers.cpp - the numbers the fast drawing writes for the cells'
// lines, and its cell image's texels: the same on every platform.
#include <algorithm>

#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

int number_of(int i, int j) {
    return (GRID_INNER - i) * GRID_INNER + (j - 1) + 1;
}

bool number_digits(const int buffer_bits[3], int digit_bits[3]) {
    int total = 0;
    for (int k = 0; k < 3; ++k) {
        const int bits = buffer_bits[k];
        if (bits < MIN_DIGIT_CHANNEL_BITS || bits > MAX_DIGIT_CHANNEL_BITS) return false;
        digit_bits[k] = std::min(bits, 8);
        total += digit_bits[k];
    }
    return (1L << total) > NUMBERED_CELLS;
}

unsigned char digit_byte(long d, int digit) {
    const long top = (1L << digit) - 1;
    return (unsigned char)((d * 255 + top - 1) / top);
}

void number_colour(int n, const int digit_bits[3], unsigned char rgb[3]) {
    long rest = n;
    for (int k = 2; k >= 0; --k) {
        rgb[k] = digit_byte(rest & ((1L << digit_bits[k]) - 1), digit_bits[k]);
        rest >>= digit_bits[k];
    }
}

void cell_texel(QuadColour q, float texel[2]) {
    texel[0] = q.channel < 0 ? 0.0f : q.level < 1.0f ? q.level : 1.0f;
    texel[1] = (float)(q.channel + 1);
}

}  // namespace fluid
