// The poll path fed an arbitrary byte stream in arbitrary chunks through a fake port that may
// also report more bytes than it can hand over. Each poll is checked against what the line
// held; the frames it yields then drive the whole link (exchange, reply handler, monitor),
// interleaved with replies a unit would give, so that exchanges run to their end.
#include "fuzz_check.h"
#include "link/link.h"
#include "link/port.h"
#include "model/clamp.h"
#include "model/defaults.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

using namespace velmora;

namespace {

class ChunkPort : public FramePort {
public:
    std::deque<std::uint8_t> line;
    std::size_t overstate = 0; // bytes reported that are not there
    std::size_t readLimit = ReceiveBufferSize;
    std::size_t asked = 0;

    bool isOpen() const override { return true; }
    std::size_t bytesWaiting() override { return line.size() + overstate; }
    std::size_t read(std::uint8_t* dst, std::size_t max) override {
        asked = max;
        const std::size_t n = std::min({max, line.size(), readLimit});
        std::copy_n(line.begin(), n, dst);
        line.erase(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }
    void writeFrame(const Frame&) override {}
    void close() override {}
};

// What the unit would answer to a request.
Frame unitReply(const Frame& request, const Image& unit) {
    const std::uint8_t c = request[0];
    const std::size_t k = c & 0x3F;
    const std::uint8_t* data =
        (c & ReadCommand) != 0 || k == 0 ? unit.data() + k * BlockSize : request.data() + 1;
    return makeFrame(static_cast<std::uint8_t>(c ^ ReplyBit), data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Calibration cal;
    cal[Klicovani] = 6;
    setDefaultCalibration(cal);
    applyModelTable(cal);
    Identification ident;
    Image image{};
    pack(cal, image);
    std::uint8_t language = 1;

    // The unit's image: arbitrary, or a readable one of format 5.
    Image unit{};
    const auto bytes = in.ConsumeBytes<std::uint8_t>(ImageSize);
    std::copy(bytes.begin(), bytes.end(), unit.begin());
    if (in.ConsumeBool()) {
        unit[ReadEnable] = 1;
        unit[FormatVersion] = SupportedFormatVersion;
    }

    Link link(cal, ident, image, language);
    ChunkPort port;
    std::vector<Frame> sent;
    link.onSent = [&](const Frame& f) { sent.push_back(f); };

    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
            link.exchange().startRead();
            break;
        case 1:
            clamp(cal);
            pack(cal, image);
            link.exchange().startVerify();
            break;
        case 2:
            clamp(cal);
            pack(cal, image);
            link.exchange().startProgram();
            break;
        case 3:
        case 4: {
            if (!sent.empty()) {
                const Frame r = unitReply(sent.back(), unit);
                port.line.insert(port.line.end(), r.begin(), r.end());
            }
            break;
        }
        case 5:
            port.overstate = in.ConsumeIntegralInRange<std::size_t>(0, 40);
            port.readLimit = in.ConsumeIntegralInRange<std::size_t>(0, ReceiveBufferSize);
            break;
        default: {
            const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 80);
            const auto chunk = in.ConsumeBytes<std::uint8_t>(n);
            port.line.insert(port.line.end(), chunk.begin(), chunk.end());
            break;
        }
        }

        // One tick: the poll, checked against the line, then the rest of Timer1Timer.
        const std::deque<std::uint8_t> before = port.line;
        const std::size_t waiting = port.bytesWaiting();
        port.asked = 0;
        const std::optional<Frame> f = pollPort(port);
        if (waiting < FrameSize) {
            FUZZ_CHECK(!f && port.line == before && port.asked == 0);
        } else {
            FUZZ_CHECK(port.asked == std::min(waiting, ReceiveBufferSize));
            const std::size_t got = before.size() - port.line.size();
            FUZZ_CHECK(f.has_value() == (got >= FrameSize));
            if (f) FUZZ_CHECK(std::equal(f->begin(), f->end(), before.begin()));
        }
        if (f) link.exchange().onFrame(*f);
        link.tick(); // no port attached: the poll inside the tick finds nothing

        // What comes from the unit is always clamped before it is shown.
        Calibration clamped = cal;
        clamp(clamped);
        FUZZ_CHECK(clamped == cal);
    }
    return 0;
}
