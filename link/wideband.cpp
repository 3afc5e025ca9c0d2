#include "link/wideband.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

namespace velmora {

namespace {

using detail::WidebandFraming;

constexpr int MtsBaud = 19200;
constexpr int SlowBaud = 9600;
// A line longer than this is no controller's; a run of junk this long is reported as one frame.
constexpr std::size_t MaxLine = 64;
constexpr std::size_t MaxJunkRun = 64;
// Automatic: the time at one rate without a frame that checks out before trying the other.
constexpr std::uint64_t ListenMs = 1000;
// Automatic, once settled: bytes still coming but nothing checking out for this long means
// another controller is on the port, so listen again. Silence keeps the protocol, so an
// unplugged controller goes on at once when it is back.
constexpr std::uint64_t LostMs = 5000;

// One frame or line judged.
struct Outcome {
    std::size_t framing = 0; // which of the parser's framings
    WidebandReading reading;
    bool inRow = false;          // the frame before it checked out, with nothing between
    WidebandProtocol heard = {}; // lines: AEM when they end in CR LF
};

bool checksOut(const WidebandReading& r) {
    return r.state != WidebandState::Invalid;
}

WidebandReading invalid(int detail = 0) {
    return {0, WidebandState::Invalid, std::nullopt, detail};
}

WidebandReading status(WidebandState state, int detail) {
    return {0, state, std::nullopt, detail};
}

// A lambda value as a sensor can report it, or Invalid (NaN fails both comparisons).
WidebandReading lambdaReading(double lambda) {
    if (!(lambda >= MinSensorLambda && lambda <= MaxSensorLambda)) return invalid();
    return {0, WidebandState::Ok, lambda, 0};
}

void emit(WidebandFraming& f, std::vector<Outcome>& out, const WidebandReading& r,
          WidebandProtocol heard) {
    out.push_back({0, r, f.inRow, heard});
    f.inRow = checksOut(r);
    f.skipped = 0;
}

// Bytes skipped while looking for a frame: a stray byte in a good stream is reported at once,
// a long run of junk once per MaxJunkRun bytes.
void skip(WidebandFraming& f, std::size_t n, std::vector<Outcome>& out) {
    if (f.skipped == 0 && f.inRow) out.push_back({0, invalid(), true, f.protocol});
    f.inRow = false;
    f.skipped += n;
    while (f.skipped >= MaxJunkRun) {
        out.push_back({0, invalid(), false, f.protocol});
        f.skipped -= MaxJunkRun;
    }
}

// --- Binary frames ---------------------------------------------------------------------------

enum class Verdict { NeedMore, Junk, Bad, Good, Pass };

struct Judged {
    Verdict verdict = Verdict::NeedMore;
    WidebandReading reading;
    std::size_t length = 0;
};

unsigned word(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<unsigned>(b[at]) << 8 | b[at + 1];
}

// Innovate MTS: a header word (bits 15, 13, 9 and 7 set; bit 12 set for data; a 8-bit count
// of words in bits 8 and 6..0), then the channels' words, whose bytes all have bit 7 clear.
std::size_t mtsStart(const std::vector<std::uint8_t>& b) {
    for (std::size_t i = 0; i < b.size(); ++i)
        if ((b[i] & 0xA2) == 0xA2 && (i + 1 == b.size() || (b[i + 1] & 0x80) != 0)) return i;
    return b.size();
}

WidebandReading mtsLambda(unsigned w0, unsigned w1) {
    const unsigned function = (w0 >> 10) & 7u;
    const int l = static_cast<int>((w1 >> 8 & 0x3Fu) << 7 | (w1 & 0x7Fu));
    switch (function) {
    case 0:
        return lambdaReading((l + 500) / 1000.0);
    case 1: // oxygen in 0.1 %: the sensor is in free air, as for a free-air calibration
    case 2: // free-air calibration in progress
    case 3: // a free-air calibration is needed
    case 5: // heater calibration
        return status(WidebandState::Calibrating, l);
    case 4: // warm-up in 0.1 % of the working temperature
        return status(WidebandState::WarmingUp, l);
    case 6:
        return status(WidebandState::SensorError, l);
    default:
        return invalid(l);
    }
}

Judged mtsJudge(const std::vector<std::uint8_t>& b) {
    if (b.size() < 2) return {};
    const unsigned header = word(b, 0);
    const std::size_t words = (header >> 1 & 0x80u) | (header & 0x7Fu);
    const std::size_t length = 2 + 2 * words;
    // Judged as the bytes come, so that a truncated packet gives way to the next header at once.
    for (std::size_t i = 2; i < b.size() && i < length; ++i) {
        const bool oldLambdaWord = i == 2; // the LM-1's lambda word has bit 15 set
        if ((b[i] & 0x80) != 0 && !oldLambdaWord) return {Verdict::Junk, {}, 1};
    }
    if (b.size() < length) return {};
    if ((header & 0x1000u) == 0) return {Verdict::Pass, {}, length}; // a response packet
    if (words > 0 && (b[2] & 0x80) != 0) return {Verdict::Bad, invalid(), length}; // LM-1 form
    std::optional<WidebandReading> first;
    for (std::size_t w = 0; w < words;) {
        const unsigned w0 = word(b, 2 + 2 * w);
        if ((w0 & 0x4000u) == 0) { // an auxiliary input, one word
            ++w;
            continue;
        }
        if ((w0 & 0x2200u) != 0x0200u || w + 1 >= words) return {Verdict::Bad, invalid(), length};
        const unsigned w1 = word(b, 4 + 2 * w);
        if ((w1 & 0xC000u) != 0) return {Verdict::Bad, invalid(), length};
        if (!first) first = mtsLambda(w0, w1);
        w += 2;
    }
    if (!first) return {Verdict::Pass, {}, length}; // only auxiliary inputs
    return {checksOut(*first) ? Verdict::Good : Verdict::Bad, *first, length};
}

// MoTeC PLM: 0x80 0x81 0x82, a data length (8 alone, 32 as a collect master), the data, and
// the 16-bit sum of all bytes before it, high byte first.
std::size_t plmStart(const std::vector<std::uint8_t>& b) {
    static const std::uint8_t head[] = {0x80, 0x81, 0x82};
    for (std::size_t i = 0; i < b.size(); ++i) {
        std::size_t k = 0;
        while (k < 3 && i + k < b.size() && b[i + k] == head[k]) ++k;
        if (k == 3 || i + k == b.size()) return i;
    }
    return b.size();
}

Judged plmJudge(const std::vector<std::uint8_t>& b) {
    if (b.size() < 4) return {};
    const std::size_t data = b[3];
    if (data != 8 && data != 32) return {Verdict::Bad, invalid(), 1};
    const std::size_t length = 4 + data + 2;
    if (b.size() < length) return {};
    unsigned sum = 0;
    for (std::size_t i = 0; i < 4 + data; ++i) sum += b[i];
    // A frame that does not check out gives up only its first byte: the next may begin inside.
    if ((sum & 0xFFFFu) != word(b, 4 + data)) return {Verdict::Bad, invalid(), 1};
    // Both forms begin with the (first) PLM's lambda x 1000; the master sends no status.
    WidebandReading r = lambdaReading(word(b, 4) / 1000.0);
    if (data == 8) {
        const int control = b[8];
        if (b[7] != 0)
            r = status(WidebandState::SensorError, control);
        else if (b[6] != 0)
            r = status(WidebandState::WarmingUp, control);
        else if (b[9] == 0)
            r = status(WidebandState::Calibrating, control);
    }
    return {checksOut(r) ? Verdict::Good : Verdict::Bad, r, length};
}

void binaryStep(WidebandFraming& f, std::uint8_t byte, std::vector<Outcome>& out) {
    const bool mts = f.protocol == WidebandProtocol::InnovateMts;
    std::vector<std::uint8_t>& b = f.held;
    b.push_back(byte);
    while (!b.empty()) {
        const std::size_t start = mts ? mtsStart(b) : plmStart(b);
        if (start > 0) {
            skip(f, start, out);
            b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(start));
            continue;
        }
        const Judged j = mts ? mtsJudge(b) : plmJudge(b);
        if (j.verdict == Verdict::NeedMore) return;
        if (j.verdict == Verdict::Junk)
            skip(f, j.length, out);
        else if (j.verdict != Verdict::Pass)
            emit(f, out, j.reading, f.protocol);
        b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(j.length));
    }
}

// --- Lines -----------------------------------------------------------------------------------

bool equalsIgnoringCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

// Digits with at most one point, nothing else: no sign, exponent, "nan" or "inf". The
// conversion does not depend on the locale.
std::optional<double> plainNumber(const std::string& s) {
    bool digit = false, point = false;
    for (const char c : s) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return std::nullopt;
    }
    if (!digit) return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

WidebandReading judgeLine(std::string s, double stoich) {
    const char* blank = " \t\r";
    const std::size_t first = s.find_first_not_of(blank);
    if (first == std::string::npos) return invalid();
    s = s.substr(first, s.find_last_not_of(blank) - first + 1);
    if (equalsIgnoringCase(s, "WARM UP")) return status(WidebandState::WarmingUp, 0);
    if (equalsIgnoringCase(s, "CAL")) return status(WidebandState::Calibrating, 0);
    if (equalsIgnoringCase(s, "ERROR")) return status(WidebandState::SensorError, 0);
    const std::optional<double> v = plainNumber(s);
    if (!v || *v <= 0) return invalid();
    // Controllers send either; no engine runs at an AFR below 3 or a lambda above it.
    return lambdaReading(*v < 3 ? *v : *v / stoich);
}

void lineStep(WidebandFraming& f, std::uint8_t byte, double stoich, std::vector<Outcome>& out) {
    if (byte != '\n') {
        if (f.dropping) return;
        if (f.held.size() < MaxLine) {
            f.held.push_back(byte);
            return;
        }
        // Bounded: an endless line is reported once and skipped up to its end.
        f.held.clear();
        f.dropping = true;
        f.firstLine = false;
        emit(f, out, invalid(), f.protocol);
        return;
    }
    if (f.dropping) {
        f.dropping = false;
        return;
    }
    const std::string line(f.held.begin(), f.held.end());
    f.held.clear();
    const WidebandReading r = judgeLine(line, stoich);
    const WidebandProtocol heard = !line.empty() && line.back() == '\r'
                                       ? WidebandProtocol::AemText
                                       : WidebandProtocol::NumberPerLine;
    // The first line may be the tail of one ("7" of "14.7"): it only starts the row.
    if (f.firstLine && !checksOut(r)) {
        f.firstLine = false;
        return;
    }
    f.firstLine = false;
    emit(f, out, r, heard);
}

void step(WidebandFraming& f, std::uint8_t byte, double stoich, std::vector<Outcome>& out) {
    switch (f.protocol) {
    case WidebandProtocol::InnovateMts:
    case WidebandProtocol::MotecPlm:
        binaryStep(f, byte, out);
        break;
    case WidebandProtocol::AemText:
    case WidebandProtocol::NumberPerLine:
        lineStep(f, byte, stoich, out);
        break;
    case WidebandProtocol::Automatic:
        break;
    }
}

WidebandFraming framing(WidebandProtocol protocol) {
    WidebandFraming f;
    f.protocol = protocol;
    return f;
}

} // namespace

int widebandBaud(WidebandProtocol protocol) {
    return protocol == WidebandProtocol::InnovateMts || protocol == WidebandProtocol::Automatic
               ? MtsBaud
               : SlowBaud;
}

namespace {
const char* const Keys[WidebandProtocolCount] = {"auto", "mts", "aem", "plm", "line"};
}

const char* widebandProtocolKey(WidebandProtocol protocol) {
    const auto i = static_cast<std::size_t>(protocol);
    return i < WidebandProtocolCount ? Keys[i] : Keys[0];
}

std::optional<WidebandProtocol> widebandProtocolFromKey(const std::string& key) {
    for (int i = 0; i < WidebandProtocolCount; ++i)
        if (key == Keys[i]) return static_cast<WidebandProtocol>(i);
    return std::nullopt;
}

WidebandParser::WidebandParser(WidebandProtocol protocol, double stoichAfr)
    : chosen_(protocol), settled_(protocol), stoich_(stoichAfr > 0 ? stoichAfr : 14.7),
      baud_(widebandBaud(protocol)) {
    listen();
}

WidebandProtocol WidebandParser::chosen() const {
    return chosen_;
}
WidebandProtocol WidebandParser::settled() const {
    return settled_;
}
int WidebandParser::baud() const {
    return baud_;
}

// The framings to run: the chosen protocol's, or while listening every protocol of this rate.
void WidebandParser::listen() {
    framing_.clear();
    if (settled_ != WidebandProtocol::Automatic) {
        framing_.push_back(framing(settled_));
    } else if (baud_ == MtsBaud) {
        framing_.push_back(framing(WidebandProtocol::InnovateMts));
    } else {
        framing_.push_back(framing(WidebandProtocol::MotecPlm));
        framing_.push_back(framing(WidebandProtocol::NumberPerLine)); // AEM too
    }
}

void WidebandParser::feed(const std::uint8_t* data, std::size_t size, std::uint64_t timeMs,
                          std::vector<WidebandReading>& out) {
    if (size == 0) return;
    if (!lastByteMs_ || timeMs > *lastByteMs_ + ListenMs) streamSinceMs_ = timeMs;
    lastByteMs_ = timeMs;
    if (!listenSinceMs_) listenSinceMs_ = timeMs;
    std::vector<Outcome> outcomes;
    for (std::size_t i = 0; i < size; ++i) {
        outcomes.clear();
        for (std::size_t k = 0; k < framing_.size(); ++k) {
            const std::size_t before = outcomes.size();
            step(framing_[k], data[i], stoich_, outcomes);
            for (std::size_t n = before; n < outcomes.size(); ++n) outcomes[n].framing = k;
        }
        for (Outcome& o : outcomes) {
            o.reading.timeMs = timeMs;
            const bool good = checksOut(o.reading);
            if (good) lastGoodMs_ = timeMs;
            if (settled_ == WidebandProtocol::Automatic) {
                // Listening: the first protocol with two frames in a row is the one.
                if (!good || !o.inRow) continue;
                settled_ = o.heard;
                WidebandFraming keep = framing_[o.framing];
                keep.protocol = o.heard;
                framing_.assign(1, keep);
                out.push_back(o.reading);
                break;
            }
            if (!good) {
                ++rejected_;
                out.push_back(o.reading);
                continue;
            }
            // Without a checksum a frame counts only after one that checked out, so junk
            // would have to forge two in a row.
            if (o.inRow || framing_.front().protocol == WidebandProtocol::MotecPlm)
                out.push_back(o.reading);
        }
    }
}

bool WidebandParser::tick(std::uint64_t nowMs) {
    if (chosen_ != WidebandProtocol::Automatic) return false;
    if (!listenSinceMs_) listenSinceMs_ = nowMs;
    if (settled_ != WidebandProtocol::Automatic) {
        const bool coming = lastByteMs_ && *lastByteMs_ + ListenMs >= nowMs;
        if (coming && nowMs >= std::max(lastGoodMs_, streamSinceMs_) + LostMs) {
            settled_ = WidebandProtocol::Automatic;
            listenSinceMs_ = nowMs;
            listen();
        }
        return false;
    }
    if (nowMs < std::max(*listenSinceMs_, lastGoodMs_) + ListenMs) return false;
    baud_ = baud_ == MtsBaud ? SlowBaud : MtsBaud;
    listenSinceMs_ = nowMs;
    listen();
    return true;
}

} // namespace velmora
