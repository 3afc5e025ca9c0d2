// The poll path fed an arbitrary byte stream (junk, whole, glued, split and shifted frames) in
// arbitrary chunks through a fake port that may also report more bytes than it can hand over.
// The frames drive the whole link (exchange, reply handler, monitor), interleaved with replies
// a unit would give, so that exchanges run to their end. The monitor frames decoded must be
// exactly those the whole stream holds, however it was cut.
#include "fuzz_check.h"
#include "link/framer.h"
#include "link/link.h"
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
    std::size_t readLimit = 1024;

    bool isOpen() const override { return true; }
    std::size_t bytesWaiting() override { return line.size() + overstate; }
    std::size_t read(std::uint8_t* dst, std::size_t max) override {
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
    link.setPort(&port);
    link.clockMs = [] { return std::uint64_t{0}; }; // never quiet: the framer alone decides
    std::vector<Frame> sent, decoded;
    std::vector<std::uint8_t> stream; // every byte put on the line
    std::size_t mostWaiting = 0;
    link.onSent = [&](const Frame& f) { sent.push_back(f); };
    const Subscription listening = link.samples().subscribe([&](const EngineSample& s) {
        const Frame& f = s.frame;
        FUZZ_CHECK(isMonitorCommand(f[0]) && checkOk(f));
        decoded.push_back(f);
    });
    const auto put = [&](const std::uint8_t* b, std::size_t n) {
        port.line.insert(port.line.end(), b, b + n);
        stream.insert(stream.end(), b, b + n);
    };

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
                put(r.data(), r.size());
            }
            break;
        }
        case 5:
            port.overstate = in.ConsumeIntegralInRange<std::size_t>(0, 40);
            port.readLimit = in.ConsumeIntegralInRange<std::size_t>(0, 1024);
            break;
        case 6: { // a monitor frame, whole or only its head (the rest lost)
            const auto data = in.ConsumeBytes<std::uint8_t>(FrameDataSize);
            std::uint8_t block[FrameDataSize]{};
            std::copy(data.begin(), data.end(), block);
            const Frame m = makeFrame(
                static_cast<std::uint8_t>(0xB0 + in.ConsumeIntegral<std::uint8_t>() % 16), block);
            put(m.data(), in.ConsumeBool() ? FrameSize
                                           : in.ConsumeIntegralInRange<std::size_t>(0, FrameSize));
            break;
        }
        default: {
            const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 80);
            const auto chunk = in.ConsumeBytes<std::uint8_t>(n);
            put(chunk.data(), chunk.size());
            break;
        }
        }
        mostWaiting = std::max(mostWaiting, port.line.size() + link.framer().held());
        link.tick();
        FUZZ_CHECK(link.framer().held() <= Framer::Capacity);

        // What comes from the unit is always clamped before it is shown.
        Calibration clamped = cal;
        clamp(clamped);
        FUZZ_CHECK(clamped == cal);
    }
    // The rest of the line, then the same stream in even pieces through a framer of its own.
    port.overstate = 0;
    port.readLimit = 1024;
    for (int t = 0; t < 4000 && (!port.line.empty() || link.framer().held() >= FrameSize); ++t)
        link.tick();
    if (mostWaiting <= Framer::Capacity) {
        Framer whole;
        std::vector<Frame> expected;
        for (std::size_t at = 0; at < stream.size(); at += FrameSize) {
            whole.append(stream.data() + at, std::min(FrameSize, stream.size() - at));
            while (std::optional<Frame> f = whole.next())
                if (isMonitorCommand((*f)[0])) expected.push_back(*f);
        }
        FUZZ_CHECK(decoded == expected);
    }
    return 0;
}
