// screenshot.cpp - the picture of docs/screenshot.png, taken with the window
// tests' harness: the real program on a private Xvfb, a wall painted across
// the middle, density sources below it stirred upwards, then the window's
// pixels written as a binary PPM (docs/make_screenshot.sh turns it into the
// PNG and the icons).
//
//   screenshot OUTPUT.ppm
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "x_harness.hpp"

int main(int argc, char** argv) try {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot OUTPUT.ppm\n");
        return 2;
    }
    xharness::XServer server;
    xharness::Program program(server, xharness::fluids_path(), {}, xharness::Stdout::Collected);
    if (program.window() == 0) throw std::runtime_error("the program showed no window");

    // A wall of obstacles across the middle: painting mode on, a drag, off.
    program.key("B");
    program.move(180, 300);
    program.button_down(1);
    for (int x = 184; x <= 340; x += 4) program.move(x, 300);
    program.button_up(1);
    program.key("B");
    // Sources below the wall, fed while the fluid is stirred upwards: the
    // simulation paused, one round of input a single step, each step waited
    // for by its report, so that the picture does not depend on the speed of
    // the machine.
    program.key("s");
    program.key("c");
    for (int k = 0; k < 8; ++k) {
        program.click(3, 256, 420);
        program.click(3, 200, 440);
        program.move(330, 470);
        program.button_down(1);
        program.move(330, 460);
        program.button_up(1);
        if (!program.step_and_wait_report(k))
            throw std::runtime_error("no report of step " + std::to_string(k));
    }
    // The last step's picture: two readings in a row alike (the report
    // comes before the frame that shows it).
    xharness::Image last;
    const xharness::Image image = program.capture_until([&](const xharness::Image& i) {
        const bool settled = i.width == 512 && i.rgb == last.rgb;
        last = i;
        return settled;
    });
    program.key("Escape");
    if (program.wait_exit() != 0) throw std::runtime_error("the program did not end with status 0");

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) throw std::runtime_error(std::string("cannot write ") + argv[1]);
    std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height);
    const bool written =
        std::fwrite(image.rgb.data(), 1, image.rgb.size(), out) == image.rgb.size();
    if (std::fclose(out) != 0 || !written)
        throw std::runtime_error(std::string("cannot write ") + argv[1]);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "screenshot: %s\n", e.what());
    return 1;
}
