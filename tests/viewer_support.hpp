// viewer_support.hpp - the viewer's start-up state and captured standard
// output, for tests and fuzz targets that drive the viewer's logic directly.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "fluid.hpp"
#include "viewer.hpp"

namespace test_support {

/// Puts the fields, the view and the pointer back as they are at start-up
/// (at the initial 512 by 512 window).
inline void reset_viewer() {
    fluid::clear_state();
    fluid::window_width = 512;
    fluid::window_height = 512;
    fluid::update_cell_size();
    fluid::simulate_on = 1;
    fluid::step_requested = 0;
    fluid::dump_on = 0;
    fluid::show_obstacles = 1;
    fluid::show_density = 1;
    fluid::show_velocity = 0;
    fluid::show_grid = 0;
    fluid::paint_obstacles = 0;
    fluid::total_density = 0.0f;
    fluid::pointer_x = fluid::pointer_y = 0;
    fluid::prev_pointer_x = fluid::prev_pointer_y = 0;
    fluid::button_state = 0;
    fluid::last_painted_col = fluid::last_painted_row = 0;
}

/// Runs fn with descriptor 1 on a temporary file; returns what it wrote.
template <typename Fn>
std::string capture_stdout(Fn fn) {
    std::fflush(stdout);
    std::FILE* tmp = std::tmpfile();
    if (tmp == nullptr) return "<no temporary file>";
    const int saved = dup(1);
    dup2(fileno(tmp), 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    std::rewind(tmp);
    char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, tmp)) > 0) text.append(chunk, n);
    std::fclose(tmp);
    return text;
}

}  // namespace test_support
