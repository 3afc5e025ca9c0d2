// The log readers fed arbitrary bytes: the MLG reader either refuses with a message or gives
// a log whose columns all hold one value per record, and reads a cut copy to a prefix of the
// same records; the frame and wide-band log readers keep whole entries only.
#include "fuzz_check.h"
#include "log/frame_log.h"
#include "log/mlg.h"
#include "log/wideband_log.h"

#include <cstdint>
#include <cstring>
#include <vector>

using namespace velmora::log;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const LogReadResult r = readMlg(data, size);
    FUZZ_CHECK(r.ok == r.error.empty());
    if (r.ok) {
        const LogData& d = r.data;
        FUZZ_CHECK(!d.fields.empty());
        FUZZ_CHECK(d.columns.size() == d.fields.size());
        for (const auto& c : d.columns) FUZZ_CHECK(c.size() == d.records());
        if (size > 0) {
            const LogReadResult cut = readMlg(data, size - 1);
            if (cut.ok) {
                FUZZ_CHECK(cut.data.records() <= d.records());
                for (std::size_t i = 0; i < cut.data.records(); ++i)
                    FUZZ_CHECK(std::memcmp(&cut.data.time[i], &d.time[i], sizeof(double)) == 0);
            }
        }
    } else {
        FUZZ_CHECK(r.data.records() == 0);
    }
    const FrameLogResult f = readFrameLog(data, size);
    if (f.ok) FUZZ_CHECK(FrameLogMagicSize + f.frames.size() * FrameLogEntrySize <= size);
    // Bytes after a wide-band magic: every entry read whole, within the input.
    if (size > 0) {
        std::vector<std::uint8_t> wb(WidebandLogMagic, WidebandLogMagic + WidebandLogMagicSize);
        wb.insert(wb.end(), data, data + size);
        const WidebandLogResult w = readWidebandLog(wb.data(), wb.size());
        FUZZ_CHECK(w.ok);
        std::size_t used = WidebandLogMagicSize;
        for (const WidebandEntry& e : w.entries) used += WidebandEntryHeaderSize + e.bytes.size();
        FUZZ_CHECK(used <= wb.size() && wb.size() - used < WidebandEntryHeaderSize + 0x10000);
    }
    return 0;
}
