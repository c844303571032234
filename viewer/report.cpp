// report.cpp - the console report: the density, u and v fields and the total.
//
// Each field is formatted into a static buffer by format_fixed6 and handed to
// stdout with a single fwrite, which is many times faster than one printf
// per value and writes exactly the same bytes.
//
// The report is best effort: if standard output cannot be written (closed,
// device full) fwrite reports a short count, the rest of that block is
// dropped and the simulation carries on. Nothing is retried.
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "float_format.hpp"
#include "fluid.hpp"
#include "viewer.hpp"

namespace fluid {

namespace {

// Room for a heading, a whole field at its widest (every value 47
// characters and a space, plus the line ends) and the total line.
constexpr std::size_t HEADING_ROOM = 64;
constexpr std::size_t FIELD_TEXT_MAX =
    (std::size_t)FIELD_SIZE * (FIXED6_MAX_CHARS + 1) + (std::size_t)GRID_SIDE;
constexpr std::size_t BLOCK_SIZE = HEADING_ROOM + FIELD_TEXT_MAX + HEADING_ROOM;

char block[BLOCK_SIZE];

template <std::size_t N>
char* put_text(char* out, const char (&text)[N]) {
    std::memcpy(out, text, N - 1);
    return out + (N - 1);
}

// Appends 128 lines of 128 "%f " values, top row (i = 127) first.
char* format_field(char* out, const float* f) {
    for (int i = GRID_SIDE - 1; i >= 0; --i) {
        for (int j = 0; j < GRID_SIDE; ++j) {
            out = format_fixed6(out, f[cell_index(i, j)]);
            *out++ = ' ';
        }
        *out++ = '\n';
    }
    return out;
}

// Hands block[0, end) to stdout. A short write is ignored (see above).
void write_block(const char* end) {
    (void)std::fwrite(block, 1, (std::size_t)(end - block), stdout);
}

}  // namespace

void dump_field(const float* f) {
    write_block(format_field(block, f));
}

void print_report(float total) {
    write_block(format_field(put_text(block, "\n\nDensity Field\n"), density));
    write_block(format_field(put_text(block, "\n\nu Field\n"), u));
    char* out = format_field(put_text(block, "\n\nv Field\n"), v);
    out = put_text(out, "\n\nTotal Density: ");
    out = format_fixed6(out, total);
    *out++ = '\n';
    write_block(out);
    // A reader at the other end of a pipe sees each report whole.
    std::fflush(stdout);
}

}  // namespace fluid
