// first_difference.hpp - comparisons of long texts and of pictures that
// say where they first differ, instead of a bare "false".
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace first_difference {

/// Whether `got` is `expected`, byte for byte; if not, the failure names the
/// first differing byte (offset, line and column, from 1) and shows the text
/// around it in both.
inline ::testing::AssertionResult same_text(const std::string& expected, const std::string& got) {
    if (expected == got) return ::testing::AssertionSuccess();
    const auto e = std::mismatch(expected.begin(), expected.end(), got.begin(), got.end()).first;
    const std::size_t at = (std::size_t)(e - expected.begin());
    const std::size_t line = 1 + (std::size_t)std::count(expected.begin(), e, '\n');
    const std::size_t line_start = at == 0 ? std::string::npos : expected.rfind('\n', at - 1);
    const std::size_t column = at - (line_start == std::string::npos ? 0 : line_start + 1) + 1;
    const std::size_t from = at < 30 ? 0 : at - 30;
    // Up to 60 bytes from 30 before the difference, line feeds shown as \n.
    auto excerpt = [&](const std::string& s) {
        std::string text = from > 0 ? "..." : "";
        for (char c : s.substr(std::min(from, s.size()), 60))
            text += c == '\n' ? std::string("\\n") : std::string(1, c);
        return text + (at >= s.size() ? " (ends here)" : "");
    };
    return ::testing::AssertionFailure()
           << "the texts differ first at byte " << at << " (line " << line << ", column " << column
           << "); " << expected.size() << " bytes expected, " << got.size() << " got"
           << "\n  expected: " << excerpt(expected) << "\n  got:      " << excerpt(got);
}

/// Whether two RGB pictures (width, height, and 3 bytes a pixel in `rgb`,
/// top row first) are the same; if not, the failure names the first
/// differing pixel from the top left and both colours.
template <class Picture>
::testing::AssertionResult same_picture(const Picture& expected, const Picture& got) {
    if (expected.width != got.width || expected.height != got.height)
        return ::testing::AssertionFailure()
               << "sizes differ: " << expected.width << " x " << expected.height << " expected, "
               << got.width << " x " << got.height << " got";
    for (std::size_t k = 0; k + 2 < expected.rgb.size() && k + 2 < got.rgb.size(); k += 3) {
        if (expected.rgb[k] == got.rgb[k] && expected.rgb[k + 1] == got.rgb[k + 1] &&
            expected.rgb[k + 2] == got.rgb[k + 2])
            continue;
        char text[120];
        std::snprintf(text, sizeof text,
                      "pixel (%zu, %zu) from the top left: %02x%02x%02x expected, %02x%02x%02x got",
                      k / 3 % (std::size_t)expected.width, k / 3 / (std::size_t)expected.width,
                      expected.rgb[k], expected.rgb[k + 1], expected.rgb[k + 2], got.rgb[k],
                      got.rgb[k + 1], got.rgb[k + 2]);
        return ::testing::AssertionFailure() << text;
    }
    if (expected.rgb.size() != got.rgb.size())
        return ::testing::AssertionFailure() << "pixel data of different sizes";
    return ::testing::AssertionSuccess();
}

}  // namespace first_difference
