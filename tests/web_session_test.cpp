// web_session_test.cpp - the web page and the Linux program given the same
// session of real input (keys, clicks, drags, resizes): the same reports to
// the byte, and with the velocity layer off the same pictures to the pixel.
//
// The page is the one in the directory FLUIDS_WEB_PAGE names (./test.sh
// builds it with scripts/build_web.sh); without it the test is skipped. The
// page runs in headless Chromium through tests/web/session.mjs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "first_difference.hpp"
#include "server_test.hpp"
#include "x_harness.hpp"

namespace {

using xharness::Image;
using xharness::Program;

// The session, as session.mjs reads it. Buttons are numbered as GLUT numbers
// them (0 left, 1 middle, 2 right).
const std::vector<std::string> SESSION = {
    "key s",
    "key c",
    "key B",
    "drag 0 200 200 260 212",
    "key B",
    "click 2 300 300",
    "key f",
    "step",
    "drag 0 100 400 160 380",
    "step",
    "resize 701 389",
    "click 2 350 200",
    "drag 1 300 100 340 90",
    "step",
    "key g",
    "picture",
    "key b",
    "picture",
    "key d",
    "step",
    "picture",
};

std::vector<std::string> words(const std::string& command) {
    std::istringstream in(command);
    std::vector<std::string> w;
    for (std::string s; in >> s;) w.push_back(s);
    return w;
}

// The pictures session.mjs wrote: width, height (4 bytes each, little
// endian) and RGB rows, one after the other.
std::vector<Image> read_pictures(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<Image> pictures;
    std::uint8_t size[8];
    while (in.read(reinterpret_cast<char*>(size), 8)) {
        Image img;
        img.width = (int)(size[0] | size[1] << 8 | size[2] << 16 | (std::uint32_t)size[3] << 24);
        img.height = (int)(size[4] | size[5] << 8 | size[6] << 16 | (std::uint32_t)size[7] << 24);
        img.rgb.resize((std::size_t)img.width * (std::size_t)img.height * 3);
        in.read(reinterpret_cast<char*>(img.rgb.data()), (std::streamsize)img.rgb.size());
        pictures.push_back(std::move(img));
    }
    return pictures;
}

// Runs the session with the page; returns its standard output.
std::string run_page(const std::string& page, const std::string& pictures) {
    std::string command = std::string(FLUIDS_NODE) + " " + SESSION_SCRIPT + " '" + page +
                          "' 512 512 '" + pictures + "'";
    for (const std::string& c : SESSION) command += " '" + c + "'";
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return "";
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        text.append(buffer, n);
    EXPECT_EQ(pclose(out), 0) << "session.mjs failed";
    return text;
}

class WebSessionTest : public xharness::ServerTest {};

TEST_F(WebSessionTest, ThePageAndTheLinuxProgramGiveTheSameReportsAndPictures) {
    const char* page = std::getenv("FLUIDS_WEB_PAGE");
    if (page == nullptr || *page == '\0') GTEST_SKIP() << "FLUIDS_WEB_PAGE names no built page";
    const std::string pictures_file =
        ::testing::TempDir() + "web_session_" + std::to_string(getpid()) + ".rgb";
    const std::string page_output = run_page(page, pictures_file);
    const std::vector<Image> page_pictures = read_pictures(pictures_file);
    std::remove(pictures_file.c_str());

    Program program(*server, xharness::fluids_path());
    int reports = 0;
    std::size_t picture = 0;
    for (const std::string& c : SESSION) {
        const std::vector<std::string> w = words(c);
        std::vector<int> n;
        for (std::size_t k = 1; k < w.size(); ++k) n.push_back(std::atoi(w[k].c_str()));
        if (w[0] == "key") {
            program.key(w[1]);
        } else if (w[0] == "click") {
            program.click(n[0] + 1, n[1], n[2]);
        } else if (w[0] == "drag") {
            program.move(n[1], n[2]);
            program.button_down(n[0] + 1);
            program.move(n[3], n[4]);
            program.button_up(n[0] + 1);
        } else if (w[0] == "step") {
            ASSERT_TRUE(program.step_and_wait_report(reports++)) << "no report for " << c;
        } else if (w[0] == "resize") {
            program.resize(n[0], n[1]);
        } else if (w[0] == "picture") {
            ASSERT_LT(picture, page_pictures.size()) << "the page took fewer pictures";
            const Image& expected = page_pictures[picture++];
            // The program draws on; the picture is the one once it shows the
            // latest input.
            const Image got = program.capture_until([&](const Image& img) {
                return img.width == expected.width && img.height == expected.height &&
                       img.rgb == expected.rgb;
            });
            EXPECT_TRUE(first_difference::same_picture(expected, got))
                << "picture " << picture << " (web page against the Linux program)";
        }
    }
    EXPECT_EQ(picture, page_pictures.size());
    EXPECT_TRUE(first_difference::same_text(program.output(), page_output))
        << "the page's reports against the Linux program's";
}

}  // namespace
