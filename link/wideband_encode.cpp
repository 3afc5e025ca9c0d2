#include <algorithm>
#include <cmath>
#include <string>

#include "link/wideband.h"

namespace velmora {

namespace {

// Fixed-point text, the same in every locale: "14.7", "0.98"; a negative, huge or NaN value
// too, which the simulator may be given and a receiver must refuse.
std::string fixed(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    const long long scale = decimals == 1 ? 10 : decimals == 2 ? 100 : 1000;
    const long long v = std::llround(std::clamp(value * static_cast<double>(scale), -1e15, 1e15));
    const long long a = v < 0 ? -v : v;
    std::string digits = std::to_string(a % scale);
    digits.insert(0, static_cast<std::size_t>(decimals) - digits.size(), '0');
    return (v < 0 ? "-" : "") + std::to_string(a / scale) + "." + digits;
}

// Rounded into lo..hi; NaN gives lo.
long rounded(double v, long lo, long hi) {
    if (!(v >= static_cast<double>(lo))) return lo;
    return v >= static_cast<double>(hi) ? hi : std::lround(v);
}

void put16(std::vector<std::uint8_t>& out, unsigned word) {
    out.push_back(static_cast<std::uint8_t>((word >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

std::vector<std::uint8_t> mts(WidebandState state, double lambda, double stoich, int detail) {
    // One lambda channel (an LC-1 or LC-2 alone on the chain): header, then two words.
    const unsigned words = 2;
    unsigned function = 0, value = 0;
    switch (state) {
    case WidebandState::Ok:
        value = static_cast<unsigned>(rounded(lambda * 1000.0 - 500.0, 0, 8191));
        break;
    case WidebandState::Calibrating:
        function = 2;
        break;
    case WidebandState::WarmingUp:
        function = 4;
        break;
    case WidebandState::SensorError:
        function = 6;
        break;
    default:
        return {};
    }
    if (state != WidebandState::Ok) value = static_cast<unsigned>(std::clamp(detail, 0, 8191));
    const unsigned af = static_cast<unsigned>(rounded(stoich * 10.0, 0, 255));
    std::vector<std::uint8_t> out;
    put16(out, 0xB280u | ((words >> 7) & 1u) << 8 | (words & 0x7Fu));
    put16(out, 0x4200u | function << 10 | ((af >> 7) & 1u) << 8 | (af & 0x7Fu));
    put16(out, ((value >> 7) & 0x3Fu) << 8 | (value & 0x7Fu));
    return out;
}

std::vector<std::uint8_t> plm(WidebandState state, double lambda, int detail) {
    // The message of a PLM that is not a CAN collect master: eight bytes of data.
    const bool ok = state == WidebandState::Ok;
    if (!ok && state != WidebandState::WarmingUp && state != WidebandState::Calibrating &&
        state != WidebandState::SensorError)
        return {}; // no status of its own, as with the other protocols
    std::vector<std::uint8_t> out{0x80, 0x81, 0x82, 8};
    put16(out, ok ? static_cast<unsigned>(rounded(lambda * 1000.0, 0, 65535)) : 0u);
    out.push_back(state == WidebandState::WarmingUp ? 1 : 0);   // sensor cold
    out.push_back(state == WidebandState::SensorError ? 1 : 0); // sensor faulty
    out.push_back(static_cast<std::uint8_t>(ok ? 0 : detail));  // control state
    out.push_back(ok ? 1 : 0);                                  // sensor in control
    put16(out, 0);                                              // engine speed, not wired
    unsigned sum = 0;
    for (const std::uint8_t b : out) sum += b;
    put16(out, sum & 0xFFFFu);
    return out;
}

std::vector<std::uint8_t> text(WidebandState state, double lambda, double stoich, bool afr,
                               const char* end) {
    std::string line;
    switch (state) {
    case WidebandState::Ok:
        line = afr ? fixed(lambda * stoich, 1) : fixed(lambda, 2);
        break;
    case WidebandState::WarmingUp:
        line = "WARM UP";
        break;
    case WidebandState::Calibrating:
        line = "CAL";
        break;
    case WidebandState::SensorError:
        line = "ERROR";
        break;
    default:
        return {};
    }
    line += end;
    return {line.begin(), line.end()};
}

} // namespace

std::vector<std::uint8_t> encodeWideband(WidebandProtocol protocol, WidebandState state,
                                         double lambda, double stoichAfr, bool afr, int detail) {
    switch (protocol) {
    case WidebandProtocol::InnovateMts:
        return mts(state, lambda, stoichAfr, detail);
    case WidebandProtocol::MotecPlm:
        return plm(state, lambda, detail);
    case WidebandProtocol::AemText:
        return text(state, lambda, stoichAfr, afr, "\r\n");
    case WidebandProtocol::NumberPerLine:
        return text(state, lambda, stoichAfr, afr, "\n");
    case WidebandProtocol::Automatic:
        break;
    }
    return {};
}

} // namespace velmora
