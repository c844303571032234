// input_fuzz.cpp - libFuzzer target: any sequence of user input.
//
// The input is read as a sequence of events: keys (any byte), mouse buttons
// and motion at any position (far outside the window included), window sizes
// from 0 up, and frames. They are fed to the same functions the GLUT
// handlers call. After every event the state must still be one the program
// can be in: toggles 0 or 1, the obstacle mask 0 or 1 and clear on the ring,
// the pointer's cell and the last painted cell inside the interior, the cell
// size matching the width. Writes outside a field are caught by the address
// sanitizer, which guards every field on both sides.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "fluid.hpp"
#include "viewer.hpp"
#include "viewer_support.hpp"

namespace {

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::int32_t i32() {
        std::uint32_t w = 0;
        for (int k = 0; k < 4; ++k) w |= (std::uint32_t)byte() << (8 * k);
        return (std::int32_t)w;
    }
    // A pointer coordinate: mostly near the window, sometimes anywhere an
    // int reaches.
    int coordinate() {
        const std::uint8_t mode = byte();
        if (mode % 4 == 0) return i32();
        return (int)(std::int16_t)(byte() | byte() << 8);
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool is_toggle(int x) {
    return x == 0 || x == 1;
}

// last_painted is 0 until the first press, then -1 or an interior index.
bool is_painted_index(int x) {
    return x == 0 || x == -1 || (x >= 1 && x <= fluid::GRID_INNER);
}

void check_state() {
    check(is_toggle(fluid::simulate_on) && is_toggle(fluid::step_requested) &&
          is_toggle(fluid::dump_on) && is_toggle(fluid::show_obstacles) &&
          is_toggle(fluid::show_density) && is_toggle(fluid::show_velocity) &&
          is_toggle(fluid::show_grid) && is_toggle(fluid::paint_obstacles));
    check(is_painted_index(fluid::last_painted_col) && is_painted_index(fluid::last_painted_row));
    check((fluid::last_painted_col == -1) == (fluid::last_painted_row == -1));
    const fluid::PointerCell cell = fluid::pointer_cell();
    check(cell.col >= 1 && cell.col <= fluid::GRID_INNER);
    check(cell.row >= 1 && cell.row <= fluid::GRID_INNER);
    check(fluid::cell_px == (float)(fluid::window_width / fluid::GRID_INNER));
    for (int j = 0; j < fluid::GRID_SIDE; ++j) {
        for (int i = 0; i < fluid::GRID_SIDE; ++i) {
            const std::int32_t o = fluid::obstacle[fluid::cell_index(i, j)];
            const bool ring =
                i == 0 || j == 0 || i == fluid::GRID_SIDE - 1 || j == fluid::GRID_SIDE - 1;
            check(o == 0 || (o == 1 && !ring));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Reports go nowhere; the fuzzer's own output is on stderr.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 1);
        close(null);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    test_support::reset_viewer();
    Reader in(data, size);
    // A frame runs the whole solver; one per input keeps the fuzzer fast.
    int frames_left = 1;
    while (!in.done()) {
        switch (in.byte() % 5) {
            case 0:
                // Escape ends the program; nothing after it runs.
                if (!fluid::keyboard_command(in.byte())) return 0;
                break;
            case 1: {
                const int button = (int)(std::int8_t)in.byte();
                const int state = in.byte() % 3 == 2 ? in.i32() : in.byte() % 2;
                const int x = in.coordinate();
                const int y = in.coordinate();
                fluid::pointer_button(button, state, x, y);
                break;
            }
            case 2: {
                const int x = in.coordinate();
                const int y = in.coordinate();
                fluid::pointer_motion(x, y);
                break;
            }
            case 3:
                // What the reshape handler does besides GL. Sizes from 0 to
                // 65535, as X window sizes are 16-bit.
                fluid::window_width = (std::uint16_t)(in.byte() | in.byte() << 8);
                fluid::window_height = (std::uint16_t)(in.byte() | in.byte() << 8);
                fluid::update_cell_size();
                break;
            default:
                if (frames_left > 0) {
                    --frames_left;
                    fluid::advance_frame();
                }
                break;
        }
        check_state();
    }
    return 0;
}
