// The reply handler and the monitor decoder fed arbitrary 22-byte frames in arbitrary exchange
// states. The input is a script: commands, frames (optionally given a good check byte, the
// expected command byte or the data of the block in question, so that the script gets deep
// into an exchange), ticks and monitor frames under arbitrary monitor settings.
#include "fuzz_check.h"
#include "link/exchange.h"
#include "link/monitor.h"
#include "model/clamp.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace velmora;

namespace {

struct Host : ExchangeHost {
    Calibration cal;
    Identification ident;
    Image& image;
    int sends = 0;
    Frame last{};
    explicit Host(Image& i) : image(i) {}

    void sendFrame(const Frame& f) override {
        ++sends;
        last = f;
    }
    void refreshFromImage() override {
        unpack(image, cal, ident);
        clamp(cal);
        pack(cal, image);
    }
    void showIdentification() override { ident = rebuildIdentification(image); }
};

bool isFailure(Message m) {
    return m == Message::ReadError || m == Message::VerifyError || m == Message::ProgramError ||
           m == Message::NoReading || m == Message::UnmatchedVersion;
}

// Every request is well formed: a block 0..11, a good check byte, zero data for a read and
// the image block otherwise.
void checkRequest(const Frame& f, std::uint8_t op, const Image& image) {
    FUZZ_CHECK(checkOk(f));
    FUZZ_CHECK((f[0] & 0x80) == 0 && (f[0] & 0x3F) <= 11);
    const std::size_t k = f[0] & 0x3F;
    for (std::size_t i = 0; i < BlockSize; ++i) {
        const std::uint8_t want = op == Exchange::Read ? 0 : image[k * BlockSize + i];
        FUZZ_CHECK(f[1 + i] == want);
    }
}

// The visible bars of a graph lie end to end from x0 over the whole span.
template <std::size_t N> void checkBars(const std::array<BarRect, N>& bars, int x0, int span) {
    int x = x0;
    for (const BarRect& b : bars) {
        if (!b.visible) continue;
        FUZZ_CHECK(b.left == x && b.width >= 0);
        x += b.width;
    }
    FUZZ_CHECK(x == x0 + span);
}

Frame frameFrom(FuzzedDataProvider& in) {
    Frame f{};
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(FrameSize);
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Image image{};
    std::uint8_t language = in.ConsumeIntegralInRange<std::uint8_t>(0, 3);
    if (in.ConsumeBool()) {
        const auto bytes = in.ConsumeBytes<std::uint8_t>(ImageSize);
        std::copy(bytes.begin(), bytes.end(), image.begin());
    }
    Host host(image);
    Exchange ex(host, image, language);
    MonitorDecoder monitor;
    MonitorSettings settings;

    int ticksInExchange = 0;
    int sendsSeen = 0;
    while (in.remaining_bytes() > 0) {
        const std::uint8_t op = ex.Operation;
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            ex.startRead();
            ticksInExchange = 0;
            break;
        case 1:
            ex.startVerify();
            ticksInExchange = 0;
            break;
        case 2:
            ex.startProgram();
            ticksInExchange = 0;
            break;
        case 3:
        case 4: {
            Frame f = frameFrom(in);
            const std::uint8_t how = in.ConsumeIntegral<std::uint8_t>();
            const std::size_t k = ex.CommandByte & 0x3F;
            if ((how & 1) != 0) f[0] = static_cast<std::uint8_t>(ex.CommandByte ^ ReplyBit);
            if ((how & 2) != 0 && k < BlockCount)
                std::memcpy(f.data() + 1, image.data() + k * BlockSize, BlockSize);
            if ((how & 4) != 0) {
                f[1 + ReadEnable] = 1;
                f[1 + FormatVersion] = SupportedFormatVersion;
            }
            if ((how & 8) == 0) f[FrameSize - 1] = checkByte(f);
            ex.handleReply(f);
            break;
        }
        case 5: {
            const int n = in.ConsumeIntegralInRange<int>(1, 30);
            for (int i = 0; i < n; ++i) {
                ex.tick();
                if (ex.busy()) ++ticksInExchange;
            }
            break;
        }
        case 6: {
            settings.extMonitor = in.ConsumeBool();
            settings.gasEnable = in.ConsumeBool();
            settings.advanceMax = in.ConsumeIntegral<std::uint8_t>();
            settings.lambdaLeft = in.ConsumeIntegralInRange<int>(-1000, 1000);
            settings.tpsLeft = in.ConsumeIntegralInRange<int>(-1000, 1000);
            break;
        }
        default: {
            Frame f = frameFrom(in);
            f[0] = static_cast<std::uint8_t>(0xB0 | (f[0] & 0x0F));
            if (in.ConsumeBool()) f[FrameSize - 1] = checkByte(f);
            const bool good = checkOk(f);
            FUZZ_CHECK(monitor.decode(f, settings) == good);
            if (good) {
                checkBars(monitor.view().lambdaBar, settings.lambdaLeft, 240);
                checkBars(monitor.view().tpsBar, settings.tpsLeft, 250);
            }
            break;
        }
        }

        // An exchange is always in a consistent state, however the frames came.
        FUZZ_CHECK(ex.Operation <= Exchange::Read);
        FUZZ_CHECK(ex.busy() == ex.AwaitingReply);
        if (ex.busy()) {
            FUZZ_CHECK(ex.Attempt >= 1 && ex.Attempt <= Exchange::MaxTransmissions);
            FUZZ_CHECK(ex.TicksSinceSend <= Exchange::TimeoutTicks);
            FUZZ_CHECK((ex.CommandByte & 0x3F) <= Exchange::LastBlock);
            // Twenty ticks per block at most: five transmissions of four ticks each, over the
            // twelve blocks of a read and the eleven of its verify.
            FUZZ_CHECK(ticksInExchange <= 20 * 23);
        }
        const ExchangeView& v = ex.view();
        FUZZ_CHECK(v.progressPosition >= 0 && v.progressPosition <= v.progressMax);
        if (v.message) FUZZ_CHECK((v.messageColour == Colour::Red) == isFailure(*v.message));
        if (host.sends != sendsSeen) {
            checkRequest(host.last, ex.busy() ? ex.Operation : op, image);
            sendsSeen = host.sends;
        }
        (void)op;
    }
    return 0;
}
