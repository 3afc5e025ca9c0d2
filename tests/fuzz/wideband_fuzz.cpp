// The wide-band parser, with any protocol chosen, fed arbitrary bytes in arbitrary pieces with
// the simulated controllers' frames of every protocol and state (whole or cut) among them, and
// ticked between. A reading has lambda exactly when its state is Ok, lambda lies in the
// sensor's range, every reading carries the time of its piece, and every Invalid reading is
// counted as rejected.
#include "fuzz_check.h"
#include "link/wideband.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto chosen =
        static_cast<WidebandProtocol>(in.ConsumeIntegralInRange<int>(0, WidebandProtocolCount - 1));
    const double stoich = in.ConsumeBool() ? 14.7 : in.ConsumeFloatingPoint<double>();
    WidebandParser parser(chosen, stoich);
    std::vector<WidebandReading> out;
    std::uint64_t t = 0, invalid = 0;

    while (in.remaining_bytes() > 0) {
        t += 10 * static_cast<std::uint64_t>(in.ConsumeIntegralInRange<int>(0, 200));
        std::vector<std::uint8_t> bytes;
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            parser.tick(t);
            break;
        case 1: { // a controller's frame, whole or cut
            const auto sender = static_cast<WidebandProtocol>(
                in.ConsumeIntegralInRange<int>(0, WidebandProtocolCount - 1));
            const auto state = static_cast<WidebandState>(
                in.ConsumeIntegralInRange<int>(0, WidebandStateCount - 1));
            const double lambda = in.ConsumeIntegral<std::uint8_t>() / 25.0;
            const bool afr = in.ConsumeBool();
            const int detail = in.ConsumeIntegral<std::uint8_t>();
            bytes = encodeWideband(sender, state, lambda, stoich, afr, detail);
            if (!in.ConsumeBool())
                bytes.resize(in.ConsumeIntegralInRange<std::size_t>(0, bytes.size()));
            break;
        }
        default:
            bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegral<std::uint8_t>());
            break;
        }
        out.clear();
        parser.feed(bytes.data(), bytes.size(), t, out);
        for (const WidebandReading& r : out) {
            FUZZ_CHECK(r.timeMs == t);
            FUZZ_CHECK(r.state != WidebandState::NoReading);
            FUZZ_CHECK(r.lambda.has_value() == (r.state == WidebandState::Ok));
            if (r.lambda) FUZZ_CHECK(*r.lambda >= MinSensorLambda && *r.lambda <= MaxSensorLambda);
            invalid += r.state == WidebandState::Invalid;
        }
        FUZZ_CHECK(parser.framesRejected() == invalid);
        FUZZ_CHECK(parser.baud() == 9600 || parser.baud() == 19200);
        if (chosen != WidebandProtocol::Automatic) {
            FUZZ_CHECK(parser.settled() == chosen);
            FUZZ_CHECK(parser.baud() == widebandBaud(chosen));
        }
    }
    return 0;
}
