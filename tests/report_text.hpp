// report_text.hpp - the console report of a state, built with printf
// formatting from the reference solver's fields, for comparing with what the
// program prints.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

#include "reference_solver.hpp"

namespace report_text {

/// What glibc's printf("%f") prints for a value: the reference text of the
/// report on every platform. On Windows the C library is MinGW's C99 printf
/// (not the Windows runtime's, which prints NaN as -1.#IND00), whose digits
/// are the same but which drops the sign of a negative NaN.
inline int printf_f(char* buf, std::size_t size, double value) {
#ifdef _WIN32
    if (std::isnan(value)) return std::snprintf(buf, size, std::signbit(value) ? "-nan" : "nan");
#endif
    return std::snprintf(buf, size, "%f", value);
}

/// One field as the report prints it: 128 lines of 128 "%f " values.
inline std::string field(const float* f) {
    std::string out;
    char buf[64];
    for (int i = 127; i >= 0; --i) {
        for (int j = 0; j < 128; ++j) {
            out.append(buf, (std::size_t)printf_f(buf, sizeof buf, f[reference::idx(i, j)]));
            out += ' ';
        }
        out += '\n';
    }
    return out;
}

/// A whole report of these fields and this total density.
inline std::string report(const float* density, const float* u, const float* v, float total) {
    char buf[64];
    const int n = printf_f(buf, sizeof buf, total);
    return "\n\nDensity Field\n" + field(density) + "\n\nu Field\n" + field(u) + "\n\nv Field\n" +
           field(v) + "\n\nTotal Density: " + std::string(buf, n) + "\n";
}

/// A whole report of the state, with its total density.
inline std::string report(const reference::State& s) {
    return report(s.density, s.u, s.v, reference::total_density(s.density));
}

}  // namespace report_text
