#include "model/calibration.h"
#include "model/defaults.h"
#include "tests/common/calibrations.h"
#include "tests/model/golden_images.h"

#include <gtest/gtest.h>

#include <string>

using namespace velmora;

namespace {

// The parameters held in one image byte; for a flag byte only those whose bits are in `bits`.
std::string namesAt(std::size_t offset, std::uint8_t bits) {
    std::string names;
    for (int p = 0; p < ParamCount; ++p) {
        const ParamInfo& info = paramInfo(static_cast<Param>(p));
        if (info.imageOffset != static_cast<int>(offset)) continue;
        if (info.mask != 0 && (info.mask & bits) == 0) continue;
        names += (names.empty() ? "" : ", ") + std::string(info.name);
    }
    return names.empty() ? "no parameter" : names;
}

} // namespace

TEST(GoldenImages, DefaultCalibrationOfEveryModelPacksToItsTypedImage) {
    constexpr std::uint8_t Untouched = 0xA5; // what the unit last sent
    for (int model = 0; model < ModelCount; ++model) {
        Calibration unset;
        unset.v.fill(0xAB); // a value the defaults leave unset shows in the image
        const Calibration cal = common::defaultsOf(model, unset);
        Image image;
        image.fill(Untouched);
        pack(cal, image);

        const Image expected = test::goldenImage(model, Untouched);
        for (std::size_t offset = 0; offset < ImageSize; ++offset) {
            if (image[offset] == expected[offset]) continue;
            ADD_FAILURE() << "model " << model << ", image byte " << offset << " ("
                          << namesAt(offset, image[offset] ^ expected[offset]) << "): expected "
                          << int(expected[offset]) << ", got " << int(image[offset]);
        }
    }
}
