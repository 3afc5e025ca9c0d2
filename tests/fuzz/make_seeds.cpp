// Writes the seed corpora of the fuzz targets: real parameter and settings files, scripts for
// the exchange and poll targets that run whole exchanges, and expressions. Run it again after a
// change of either file format: make_seeds <tests/fuzz/corpus>
#include "files/param_file.h"
#include "files/profile_store.h"
#include "files/settings.h"
#include "link/frame.h"
#include "link/wideband.h"
#include "model/clamp.h"
#include "model/defaults.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace velmora;

namespace {

void save(const std::string& dir, const std::string& name, const std::string& bytes) {
    ::mkdir(dir.c_str(), 0755);
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Calibration modelCalibration(int model) {
    Calibration cal;
    cal[Klicovani] = static_cast<std::uint8_t>(model);
    setDefaultCalibration(cal);
    applyModelTable(cal);
    clamp(cal);
    return cal;
}

// Builds input for FuzzedDataProvider, which takes byte runs from the front of the input and
// integers from its back.
class Script {
public:
    void bytes(const std::uint8_t* p, std::size_t n) { front_.insert(front_.end(), p, p + n); }
    void byte(std::uint8_t b) { back_.push_back(b); }
    // ConsumeIntegralInRange over a range below 256 takes one byte.
    void choice(int value, int min) { byte(static_cast<std::uint8_t>(value - min)); }
    void flag(bool b) { byte(b ? 1 : 0); }
    // A frame whose data bytes are one block; command and check byte are left for the target.
    void frame(const std::uint8_t* block) {
        front_.push_back(0);
        bytes(block, BlockSize);
        front_.push_back(0);
    }
    std::string str() const {
        std::string s(front_.begin(), front_.end());
        s.append(back_.rbegin(), back_.rend());
        return s;
    }

private:
    std::vector<std::uint8_t> front_, back_;
};

void paramSeeds(const std::string& dir) {
    save(dir, "model6.ign", formatParamFile(modelCalibration(6)));
    save(dir, "model11.ign", formatParamFile(modelCalibration(11)));
    save(dir, "short-lines.ign", "ADVANCE 10 20 30\r\nLIMITER1 8000\r\nCLUTCH 255\r\nRPM2 2");
    save(dir, "tabs-and-words.ign",
         "comment words\tN2O\t1\t50\t60\t100\t200\nRETARD 3 4\nTPS 500 4500\nrpm_ign 1 2\n"
         "KEYING 99999999999999999999 JET_90 1 2 3 4 5 6 7 8 9 10");
    save(dir, "long-token.ign", std::string(300, 'K') + " LIMITER2 12000 " + std::string(270, '9'));
}

// A name as the profile target draws it: a length, then each character from its alphabet.
void name(Script& s, const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_ .-";
    s.byte(static_cast<std::uint8_t>(text.size()));
    for (char c : text) s.byte(static_cast<std::uint8_t>(alphabet.find(c)));
}

// A string for ConsumeRandomLengthString: backslashes doubled, then the end marker.
void text(Script& s, const std::string& t) {
    std::string out;
    for (char c : t) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    out += "\\;";
    s.bytes(reinterpret_cast<const std::uint8_t*>(out.data()), out.size());
}

void profileSeeds(const std::string& dir) {
    const std::string scratch = "/tmp/velmora-seed.ini";
    std::remove(scratch.c_str());
    {
        ProfileStore store(scratch);
        WindowSettings w;
        w.left = -20;
        w.comPort = 2;
        w.language = 1;
        w.file = w.iniDir = "/home/user/bike.ign";
        w.activePage = 3;
        saveSettings(store, w, modelCalibration(6));
    }
    std::ifstream in(scratch, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(scratch.c_str());

    Script write; // replace an entry of a saved file, then read another one
    write.byte(1);
    text(write, saved);
    name(write, "FORM_HLAV");
    name(write, "Left");
    name(write, "IGNITION");
    name(write, " rpmadv3 ");
    write.flag(true);
    name(write, "Omez1");
    text(write, " 42 ");
    save(dir, "saved-write", write.str());

    Script whole; // a whole save over a saved file
    whole.byte(16);
    text(whole, saved);
    name(whole, "");
    name(whole, "");
    save(dir, "saved-save", whole.str());

    Script odd; // a new entry in a file of odd lines
    odd.byte(2);
    text(odd, "\xEF\xBB\xBF[FORM_HLAV]\r\n Left = -5 \r\n;ActivePage =3\r\nActivePage =258\r\n"
              "[ignition\r\nOmez1=300\r\n[JET]\r\nJET0_0=+12\r\nJET0_1=2147483648\r\n=\r\n"
              "[PORTS]\r\nCOM1=/dev/ttyUSB0");
    name(odd, "PORTS");
    name(odd, "COM1");
    name(odd, "PORTS");
    name(odd, "COM2");
    odd.flag(false);
    name(odd, "JET");
    name(odd, "JET0_0");
    text(odd, "/dev/ttyACM0");
    save(dir, "odd-lines", odd.str());
}

void exchangeSeeds(const std::string& dir, const Image& unit) {
    // A read with its verify, then a program, each reply made to fit.
    Script s;
    s.choice(1, 0); // English
    s.flag(false);  // the tool's image starts empty
    s.choice(0, 0); // startRead
    for (std::size_t k = 0; k < BlockCount; ++k) {
        s.choice(3, 0);
        s.frame(unit.data() + k * BlockSize); // the target sets command and check byte
        s.byte(0x01);
    }
    for (std::size_t k = 1; k < BlockCount; ++k) {
        s.choice(3, 0);
        s.frame(unit.data());
        s.byte(0x03); // expected command and the image's own data
    }
    s.choice(2, 0);
    for (std::size_t k = 0; k < BlockCount; ++k) {
        s.choice(4, 0);
        s.frame(unit.data());
        s.byte(k == 0 ? 0x07 : 0x03); // block 0 brings a format the tool accepts
    }
    s.choice(5, 0);
    s.choice(30, 1);
    save(dir, "read-verify-program", s.str());

    // A verify that times out, with monitor frames of each kind under the extended view.
    Script t;
    t.choice(0, 0);
    t.flag(false);
    t.choice(6, 0);
    t.flag(true);
    t.flag(true);
    t.byte(30);
    t.byte(0x00);
    t.byte(0x00); // lambdaLeft, tpsLeft: two bytes each
    t.byte(0x00);
    t.byte(0x00);
    t.choice(1, 0);
    for (std::uint8_t kind = 0; kind < 3; ++kind) {
        t.choice(7, 0);
        std::uint8_t f[FrameSize] = {kind, 0x27, 0x10, 0x05, 0x00, 0x0A, 0x00, 0x08, 0x00, 0x01};
        t.bytes(f, FrameSize);
        t.flag(true);
    }
    for (int i = 0; i < 8; ++i) {
        t.choice(5, 0);
        t.choice(30, 1);
    }
    save(dir, "verify-timeout-monitor", t.str());
}

void pollSeeds(const std::string& dir, const Image& unit) {
    Script s;
    s.bytes(unit.data(), ImageSize);
    s.flag(true);
    s.choice(0, 0); // startRead
    for (int i = 0; i < 23; ++i) s.choice(3, 0);
    s.choice(2, 0); // program, each echo followed by a burst of line noise read on its own
    for (int i = 0; i < 12; ++i) {
        s.choice(3, 0);
        s.choice(6, 0);
        s.byte(30);
        std::uint8_t noise[30];
        for (int j = 0; j < 30; ++j) noise[j] = static_cast<std::uint8_t>(0xB1 + 7 * j);
        s.bytes(noise, sizeof noise);
    }
    save(dir, "read-program", s.str());

    Script t;
    t.bytes(unit.data(), ImageSize);
    t.flag(true);
    t.choice(5, 0);
    t.byte(30);
    t.byte(0x03); // read limit: two bytes
    t.byte(0x00);
    t.choice(1, 0);
    for (int i = 0; i < 11; ++i) t.choice(4, 0);
    save(dir, "short-reads", t.str());
}

// Wide-band streams: each protocol's controller chosen (or heard by Automatic) with warm-up,
// errors and a cut frame among its readings, and frames cut into pieces amid line noise.
void widebandSeeds(const std::string& dir) {
    const auto frame = [](Script& s, int sender, int state, int lambda25, bool whole) {
        s.choice(5, 0); // 50 ms later
        s.choice(1, 0);
        s.choice(sender, 0);
        s.choice(state, 0);
        s.byte(static_cast<std::uint8_t>(lambda25));
        s.flag(sender == static_cast<int>(WidebandProtocol::AemText)); // AFR
        s.byte(42);                                                    // detail
        s.flag(whole);
        if (!whole) s.byte(3);
    };
    const int ok = static_cast<int>(WidebandState::Ok);
    for (int chosen = 0; chosen < WidebandProtocolCount; ++chosen) {
        Script s;
        s.choice(chosen, 0);
        s.flag(true); // stoichiometric 14.7
        const int sender = chosen == 0 ? static_cast<int>(WidebandProtocol::MotecPlm) : chosen;
        if (chosen == 0) { // a second at 19200 heard nothing: a tick moves to 9600
            s.choice(100, 0);
            s.choice(0, 0);
        }
        for (int i = 0; i < 30; ++i)
            frame(s, sender, i % 10 == 7 ? 2 + i % 3 : ok, 18 + i, i % 10 != 4);
        save(dir,
             std::string(widebandProtocolKey(static_cast<WidebandProtocol>(chosen))) + "-stream",
             s.str());
    }
    Script n;
    n.choice(static_cast<int>(WidebandProtocol::AemText), 0);
    n.flag(true);
    const std::string lines = "14.7\r\n1.00\r\nWARM UP\r\n14\x01"
                              "7\r\n0.98\r\n";
    for (std::size_t at = 0; at < lines.size(); at += 5) {
        const std::string piece = lines.substr(at, 5);
        n.choice(1, 0);
        n.choice(2, 0);
        n.byte(static_cast<std::uint8_t>(piece.size()));
        n.bytes(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
    }
    save(dir, "aem-pieces", n.str());
}

// Expressions of computed channels and filters: each operator, function and kind of name, and
// a few that fail.
void expressionSeeds(const std::string& dir) {
    save(dir, "arithmetic", "-(RPM - 1000) * 2 / (TPS + 0.5) - 3 - 4");
    save(dir, "filter", "CLT > 70 && !(TPS < 2) || \"Batt V\" <= 12.5e0 ? 1 : 0");
    save(dir, "time", "rate(RPM)@-0.5s > 0 == mean(Lambda, 0.25s)@+1s != abs(min(TPS, max(1, 2)))");
    save(dir, "computed", "Load@-0.1s + Ping + Fuzzed");
    save(dir, "errors", "((RPM + \"O2 mV) @ 0,5 # 2s");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus dir>\n");
        return 2;
    }
    const std::string root = argv[1];
    ::mkdir(root.c_str(), 0755);
    Image unit{};
    pack(modelCalibration(3), unit);
    const std::uint8_t block0[] = {'A', 'B', 'C', 7, 5, 13, 2, 16, 21, 1, 5};
    std::copy(std::begin(block0), std::end(block0), unit.begin());

    paramSeeds(root + "/param_file_fuzz");
    profileSeeds(root + "/profile_store_fuzz");
    exchangeSeeds(root + "/exchange_fuzz", unit);
    pollSeeds(root + "/poll_fuzz", unit);
    widebandSeeds(root + "/wideband_fuzz");
    expressionSeeds(root + "/expression_fuzz");
    return 0;
}
