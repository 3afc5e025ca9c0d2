#include "param_file.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

enum class Kind : std::uint8_t {
    Number,       // "%5u " of stored x k
    Switch,       // "    1" or "    0"
    NarrowSwitch, // "   1" or "   0"
    TpsFull,      // (stored + 250) x 10
};

struct Field {
    Param param;
    std::uint16_t k;
    Kind kind;
};

struct FileLine {
    std::string label; // empty for an empty line
    std::string key;   // the label's first word
    std::vector<Field> fields;
};

std::vector<FileLine> buildLines() {
    std::vector<FileLine> lines;
    auto line = [&](const char* label, std::vector<Field> fields) {
        std::string l = label;
        lines.push_back({l, l.substr(0, l.find(' ')), std::move(fields)});
    };
    auto series = [](Param head, std::uint16_t k) {
        std::vector<Field> f;
        for (int i = 0; i < 10; ++i) f.push_back({at(head, i), k, Kind::Number});
        return f;
    };
    auto number = [](Param p, std::uint16_t k) { return Field{p, k, Kind::Number}; };
    auto flag = [](Param p) { return Field{p, 1, Kind::Switch}; };
    auto empty = [&] { lines.push_back({}); };

    line("RPM_IGN     ", series(RpmAdv1, 100));
    line("ADVANCE     ", series(Advance1, 1));
    empty();
    line("LIMITER1    ", {number(Omez1, 100)});
    line("LIMITER2    ", {number(Omez2, 100)});
    line("CLUTCH      ", {number(gcClutch, 10)});
    line("PILOT_LIGHT ", {number(PilotLight, 100)});
    line("N2O         ",
         {flag(GasEnable), number(Gas1, 1), number(Gas2, 1), number(GasD, 100), number(GasT, 100)});
    line("RETARD           ",
         {number(Retard1, 1), number(Retard2, 1), number(RetardD, 100), number(RetardT, 100)});
    empty();
    line("RPM_PRIV  ", series(RPM_PRIV_0, 100));
    empty();
    line("NAP_PRIV  ", series(NAP_PRIV_0, 20));
    line("PRIV_HYSTER", {number(PRIV_HYSTER, 1)});
    line("KEYING      ", {number(Klicovani, 1)});
    line("NO_READING   ", {{ZakazCteni, 1, Kind::NarrowSwitch}});
    line("RPM2        ", {flag(Rpm2Krat)});
    line("EXT_MON     ", {flag(ExtMonitor)});
    line("ACT_BLOK    ", {flag(AktBlok)});
    line("ACT_CLUTCH  ", {flag(AktClutch)});
    line("ACT_LIM1    ", {flag(AktOmez1)});
    line("ACT_RPM     ", {flag(AktRpm)});
    line("ACT_N2O     ", {flag(AktN2o)});
    empty();
    line("RPM_JET     ", series(RPM_JET_0, 100));
    // Map rows are labelled by ten times the row number.
    for (int r = 0; r < 10; ++r) {
        std::string label = "JET_" + std::to_string(10 * r);
        label.resize(12, ' ');
        line(label.c_str(), series(jetCell(r, 0), 1));
    }
    line("KOR_23      ", series(KOR23_0, 1));
    empty();
    line("TPS         ", {number(TPS_0, 10), {TPS_100, 10, Kind::TpsFull}});
    line("ACCEL       ", {number(AKCEL_PRAH, 10), number(AKCEL_JET, 30)});
    line("START_JET   ", {number(START_JET, 1)});
    line("COOLING     ", {number(CHLAZENI, 1)});
    line("WATER_TEMP  ", {number(VODA_10, 1), number(VODA20, 1), number(VODA50, 1),
                          number(VODA80, 1), number(VODA110, 1)});
    line("AIR_TEMP    ", {number(VZDUCH_10, 1), number(VZDUCH20, 1), number(VZDUCH50, 1),
                          number(VZDUCH80, 1), number(VZDUCH110, 1)});
    return lines;
}

const std::vector<FileLine>& fileLines() {
    static const std::vector<FileLine> lines = buildLines();
    return lines;
}

// Keys are at most this long; a longer token cannot be one.
constexpr std::size_t MaxKeyLength = 11;

const FileLine* findKey(std::string_view token) {
    if (token.size() > MaxKeyLength) return nullptr;
    for (const FileLine& l : fileLines()) {
        if (!l.key.empty() && l.key == token) return &l;
    }
    return nullptr;
}

// The white space of the C locale.
bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

std::uint8_t fromFile(const Field& f, std::uint16_t n) {
    if (f.kind == Kind::TpsFull) return static_cast<std::uint8_t>(n / 10 + 6);
    return static_cast<std::uint8_t>(n / f.k);
}

class TextSource {
public:
    explicit TextSource(std::string_view text) : text_(text) {}
    int peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1; }
    void advance() { ++pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

class FileSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    int peek() {
        if (pos_ == len_ && !fill()) return -1;
        return static_cast<unsigned char>(buffer_[pos_]);
    }
    void advance() { ++pos_; }
    bool failed() const { return failed_; }

private:
    bool fill() {
        if (eof_) return false;
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n > 0) {
                pos_ = 0;
                len_ = static_cast<std::size_t>(n);
                return true;
            }
            if (n < 0 && errno == EINTR) continue;
            failed_ = n < 0;
            eof_ = true;
            return false;
        }
    }

    int fd_;
    std::array<char, 65536> buffer_{};
    std::size_t pos_ = 0, len_ = 0;
    bool eof_ = false, failed_ = false;
};

template <class Source> void skipSpace(Source& src) {
    while (isSpace(src.peek())) src.advance();
}

// Numbers are unsigned decimals of any length, taken modulo 65536 as they are read.
template <class Source> std::optional<std::uint16_t> readNumber(Source& src) {
    skipSpace(src);
    if (!isDigit(src.peek())) return std::nullopt;
    std::uint32_t n = 0;
    for (int c = src.peek(); isDigit(c); c = src.peek()) {
        n = (n * 10 + static_cast<std::uint32_t>(c - '0')) & 0xFFFF;
        src.advance();
    }
    return static_cast<std::uint16_t>(n);
}

template <class Source> void readParams(Source& src, Calibration& cal) {
    // A field whose number fails takes the last number read from the file, if there is one.
    std::optional<std::uint16_t> last;
    std::array<char, MaxKeyLength + 1> token{};
    for (;;) {
        skipSpace(src);
        if (src.peek() < 0) return;
        std::size_t length = 0;
        for (int c = src.peek(); c >= 0 && !isSpace(c); c = src.peek()) {
            if (length < token.size()) token[length] = static_cast<char>(c);
            if (length <= token.size()) ++length;
            src.advance();
        }
        const FileLine* line =
            length <= MaxKeyLength ? findKey(std::string_view(token.data(), length)) : nullptr;
        if (line == nullptr) continue;
        for (const Field& f : line->fields) {
            if (const auto n = readNumber(src)) last = n;
            if (last) cal[f.param] = fromFile(f, *last);
        }
    }
}

void appendNumber(std::string& out, unsigned value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%5u ", value);
    out += buf;
}

} // namespace

std::string formatParamFile(const Calibration& cal) {
    std::string out;
    out.reserve(3000);
    bool first = true;
    for (const FileLine& line : fileLines()) {
        if (!first) out += "\r\n";
        first = false;
        out += line.label;
        for (const Field& f : line.fields) {
            const unsigned stored = cal[f.param];
            switch (f.kind) {
            case Kind::Number:
                appendNumber(out, stored * f.k);
                break;
            case Kind::TpsFull:
                appendNumber(out, (stored + 250) * 10);
                break;
            case Kind::Switch:
                out += stored != 0 ? "    1" : "    0";
                break;
            case Kind::NarrowSwitch:
                out += stored != 0 ? "   1" : "   0";
                break;
            }
        }
    }
    return out;
}

void parseParamFile(std::string_view text, Calibration& cal) {
    TextSource src(text);
    readParams(src, cal);
}

WriteResult saveParamFile(const std::string& path, const Calibration& cal) {
    return replaceFile(path, formatParamFile(cal), true);
}

bool openParamFile(const std::string& path, Calibration& cal) {
    // Without blocking, so that a pipe given as the file cannot hang the window.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > MaxParamFileSize) {
        ::close(fd);
        return false;
    }
    // Read into a copy so that a read error part way leaves the calibration as it was.
    Calibration next = cal;
    auto src = std::make_unique<FileSource>(fd);
    readParams(*src, next);
    const bool ok = !src->failed();
    ::close(fd);
    if (ok) cal = next;
    return ok;
}

} // namespace velmora
