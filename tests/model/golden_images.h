// The calibration image of each model's default calibration, typed by hand from the unit's
// layout and the model tables. Never regenerate it from the code it checks.
#pragma once

#include "model/calibration.h"

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

namespace velmora::test {

// clang-format off
// Every model's image, one block a line: ".." a byte pack never writes, "mm" the next number
// of the model's row below, otherwise the byte in hex.
inline constexpr const char* GoldenLayout =
    "........................................"  //   0 identification, reserved
    "mmmmmmmmmm0Ammmm28......................"  //  20 flags, Klicovani, Omez1/2, gcClutch,
                                                //     PilotLight, AdvanceMax, PRIV_HYSTER
    "0A141E283C5064788CA0mmmmmmmmmmmmmmmmmmmm"  //  40 RpmAdv1..10, Advance1..10
    "6464646464646464646464646464646464646464"  //  60 injection map, rows 0 and 1
    "6464646464646464646464646464646464646464"  //  80
    "6464646464646464646464646464646464646464"  // 100
    "6464646464646464646464646464646464646464"  // 120
    "6464646464646464646464646464646464646464"  // 140 rows 8 and 9
    "0A141E283C5064788CA0mmmmmmmmmmmmmmmmmmmm"  // 160 RPM_JET_0..9, KOR23_0..9
    "mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm"  // 180 MODEL_TAB_0..9, VODA, VZDUCH
    "mmmm1E54mmmmmm5A143C1E1402061E14........"  // 200 TPS_0..CHLAZENI, Gas1..RetardD
    "0A141E283C5064788CA064696E73787D82878C91"; // 220 RPM_PRIV_0..9, NAP_PRIV_0..9

// Per model, in image order: flag bytes A and B, Klicovani, Omez1, Omez2, PilotLight,
// AdvanceMax | Advance1..10 | KOR23_0..9 | MODEL_TAB_0..9 | VODA_10..VZDUCH110 |
// TPS_0, TPS_100, MODEL_CONST, POLOHA_PRO, START_JET.
inline constexpr const char* GoldenRows[] = {
    "0xC0 0xF8 0 80 110 90 75 | 13 14 20 28 31 33 31 31 31 31"
    " | 103 99 106 111 109 102 101 101 101 101 | 124 124 120 120 117 115 114 114 114 114"
    " | 150 138 111 100 92 121 110 100 92 84 | 65 153 75 1 10",
    "0x80 0xF8 1 100 140 120 101 | 7 15 25 29 35 32 31 30 33 33"
    " | 83 99 112 131 114 104 102 104 105 105 | 152 150 149 227 230 240 217 212 227 227"
    " | 136 125 111 100 99 119 109 100 100 100 | 50 192 65 0 10",
    "0x80 0xF8 2 90 120 100 100 | 5 10 23 40 40 40 40 37 37 37"
    " | 87 101 100 99 96 96 101 104 104 104 | 191 191 188 196 205 235 21 31 31 31"
    " | 160 139 126 100 100 121 105 100 98 98 | 50 192 65 0 10",
    "0x80 0xF8 3 80 110 90 95 | 13 16 31 39 39 39 38 38 38 38"
    " | 102 80 107 114 101 92 94 94 94 94 | 152 150 149 227 230 240 217 212 227 227"
    " | 139 110 104 100 99 121 110 100 97 97 | 50 192 70 0 10",
    "0x00 0xF8 4 100 140 120 101 | 16 30 38 35 39 40 39 39 34 34"
    " | 83 96 109 94 98 96 98 100 99 99 | 124 108 82 82 74 72 80 84 80 80"
    " | 112 107 103 100 97 106 103 100 100 100 | 110 180 85 1 10",
    "0x00 0x78 5 80 110 90 98 | 19 23 30 33 31 31 31 31 31 31"
    " | 102 107 105 96 101 102 99 100 100 100 | 127 134 144 144 147 74 24 24 24 24"
    " | 125 114 107 100 98 113 107 100 97 93 | 108 169 65 2 10",
    "0x00 0xF8 6 100 140 120 100 | 16 30 38 35 39 40 39 39 34 34"
    " | 83 96 109 94 98 96 98 100 99 99 | 124 108 82 82 74 72 80 84 80 80"
    " | 112 107 103 100 97 106 103 100 100 100 | 110 180 85 1 10",
    "0x00 0xF8 7 95 136 116 100 | 4 17 43 37 44 39 39 37 35 32"
    " | 84 97 109 100 103 97 103 99 99 98 | 124 122 87 77 45 18 243 221 225 228"
    " | 117 111 104 100 99 110 105 100 100 100 | 110 180 85 1 12",
    "0x00 0xF8 8 90 120 100 102 | 10 25 28 26 29 31 29 29 29 29"
    " | 94 111 130 102 102 102 103 101 101 101 | 78 83 104 114 121 145 147 146 146 146"
    " | 113 109 105 100 97 109 105 100 100 100 | 110 180 85 1 13",
    "0x00 0xF8 9 80 100 90 90 | 10 10 25 35 40 40 41 41 41 41"
    " | 100 101 100 100 100 101 100 100 100 100 | 184 184 184 124 124 124 124 124 124 124"
    " | 125 107 100 100 100 105 102 100 100 100 | 110 180 75 0 10",
    "0x80 0x78 10 80 120 100 97 | 6 14 30 35 40 38 38 35 35 35"
    " | 107 100 96 98 97 99 96 94 94 94 | 102 89 70 53 52 36 32 30 30 30"
    " | 115 107 104 100 96 105 101 100 90 85 | 66 139 35 1 10",
    "0x80 0x78 11 80 150 130 102 | 14 22 38 39 38 40 35 32 32 28"
    " | 102 94 122 110 110 93 97 103 102 102 | 112 109 107 101 115 103 85 71 62 39"
    " | 124 120 109 100 98 115 109 100 98 93 | 66 139 50 1 10",
    "0x80 0x78 12 100 140 120 73 | 18 19 29 31 33 31 32 31 30 30"
    " | 99 99 99 104 115 112 105 102 104 104 | 158 159 157 157 157 137 73 37 29 29"
    " | 134 118 110 100 100 111 107 100 95 95 | 103 180 70 2 10",
    "0x00 0xF8 13 100 140 120 60 | 16 30 38 35 39 40 39 39 34 34"
    " | 83 96 109 94 98 96 98 100 99 99 | 124 108 82 82 74 72 80 84 80 80"
    " | 112 107 103 100 97 106 103 100 100 100 | 110 180 70 1 10",
};
// clang-format on
static_assert(std::char_traits<char>::length(GoldenLayout) == 2 * ImageSize);

// The image that packing the default calibration of `model` into an image holding `untouched`
// in every byte must give.
inline Image goldenImage(int model, std::uint8_t untouched) {
    std::istringstream row(GoldenRows[model]);
    std::string token;
    auto next = [&] {
        do {
            if (!(row >> token)) throw std::logic_error("golden row too short");
        } while (token == "|");
        return static_cast<std::uint8_t>(std::stoul(token, nullptr, 0));
    };
    Image image{};
    for (std::size_t i = 0; i < ImageSize; ++i) {
        const std::string cell(GoldenLayout + 2 * i, 2);
        image[i] = cell == ".."   ? untouched
                   : cell == "mm" ? next()
                                  : static_cast<std::uint8_t>(std::stoul(cell, nullptr, 16));
    }
    if (row >> token) throw std::logic_error("golden row too long");
    return image;
}

} // namespace velmora::test
