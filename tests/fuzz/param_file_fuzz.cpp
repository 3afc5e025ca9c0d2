// The parameter text reader on arbitrary bytes. Besides running clean under the sanitizers:
// the values the file does not carry stay as they were, and what the writer makes of the
// result reads back to the same file.
#include "files/param_file.h"
#include "fuzz_check.h"
#include "model/defaults.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace velmora;

namespace {

Calibration startingCalibration(const std::uint8_t* data, std::size_t size) {
    Calibration cal;
    cal[Klicovani] = size > 0 ? static_cast<std::uint8_t>(data[0] % 14) : 6;
    setDefaultCalibration(cal);
    applyModelTable(cal);
    return cal;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Calibration before = startingCalibration(data, size);
    Calibration cal = before;
    parseParamFile(text, cal);

    // Per-model values and the throttle position of the model table are not in the file.
    for (Param p : {POLOHA_PRO, MODEL_CONST, ModelFlag, AdvanceMax})
        FUZZ_CHECK(cal[p] == before[p]);
    for (int i = 0; i < 10; ++i) FUZZ_CHECK(cal[at(MODEL_TAB_0, i)] == before[at(MODEL_TAB_0, i)]);

    const std::string written = formatParamFile(cal);
    std::size_t lineEnds = 0;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(written[i]);
        FUZZ_CHECK(c < 0x80);
        if (c == '\n') {
            FUZZ_CHECK(i > 0 && written[i - 1] == '\r');
            ++lineEnds;
        }
    }
    FUZZ_CHECK(lineEnds == 42);
    FUZZ_CHECK(written.back() != '\n');

    // Switches are written as 0 or 1, so the first write may differ from cal; from then on the
    // file is a fixed point.
    Calibration again = before;
    parseParamFile(written, again);
    FUZZ_CHECK(formatParamFile(again) == written);

    // Opening a file reads it in pieces of 64 KiB; padded so that the text straddles the end of
    // the first piece, it must read exactly as the same text in memory.
    if (size > 1 && (data[0] & 3) == 0) {
        const std::string padded = std::string(65536 - data[1] % 64, ' ') + std::string(text);
        static const std::string path = scratchFile("bike.ign");
        writeFile(path, padded);
        Calibration fromFile = before, fromText = before;
        FUZZ_CHECK(openParamFile(path, fromFile));
        parseParamFile(padded, fromText);
        FUZZ_CHECK(fromFile == fromText);
    }
    return 0;
}
