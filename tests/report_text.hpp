// report_text.hpp - the console report of a state, built with printf
// formatting from the reference solver's fields, for comparing with what the
// program prints.
#pragma once

#include <cstdio>
#include <string>

#include "reference_solver.hpp"

namespace report_text {

/// One field as the report prints it: 128 lines of 128 "%f " values.
inline std::string field(const float* f) {
    std::string out;
    char buf[64];
    for (int i = 127; i >= 0; --i) {
        for (int j = 0; j < 128; ++j) {
            std::snprintf(buf, sizeof buf, "%f ", (double)f[reference::idx(i, j)]);
            out += buf;
        }
        out += '\n';
    }
    return out;
}

/// A whole report of the state, with the total density.
inline std::string report(const reference::State& s) {
    char total[64];
    std::snprintf(total, sizeof total, "\n\nTotal Density: %f\n",
                  (double)reference::total_density(s.density));
    return "\n\nDensity Field\n" + field(s.density) + "\n\nu Field\n" + field(s.u) +
           "\n\nv Field\n" + field(s.v) + total;
}

}  // namespace report_text
