#include "sim/options.h"

#include "model/clamp.h"
#include "model/defaults.h"

#ifdef VELMORA_SIM_PARAMS
#include "files/param_file.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace velmora::sim {

namespace {

const char* const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The unit stores its month as the sum of the characters of the English abbreviation.
std::uint8_t monthCode(int month) {
    const char* n = MonthNames[month - 1];
    return static_cast<std::uint8_t>(n[0] + n[1] + n[2]);
}

bool toLong(const std::string& text, long lo, long hi, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool toProbability(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
    out = v;
    return true;
}

bool toNumber(const std::string& text, double lo, double hi, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

// SECONDS or SECONDS:DURATION
bool parseSpan(const std::string& text, double& at, double& duration) {
    const auto colon = text.find(':');
    if (!toNumber(text.substr(0, colon), 0.0, 1e7, at)) return false;
    return colon == std::string::npos || toNumber(text.substr(colon + 1), 0.001, 1e7, duration);
}

bool parseDate(const std::string& text, SimOptions& o) {
    int d = 0, m = 0, y = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d%c", &d, &m, &y, &tail) != 3) return false;
    if (d < 1 || d > 31 || m < 1 || m > 12 || y < 2000 || y > 2255) return false;
    o.day = d;
    o.month = m;
    o.year = y;
    return true;
}

bool parseTime(const std::string& text, SimOptions& o) {
    int h = 0, m = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d%c", &h, &m, &tail) != 2) return false;
    if (h < 0 || h > 23 || m < 0 || m > 59) return false;
    o.hour = h;
    o.minute = m;
    return true;
}

} // namespace

ParseResult parseOptions(const std::vector<std::string>& args) {
    ParseResult r;
    SimOptions& o = r.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string key = args[i];
        std::string value;
        bool hasValue = false;
        if (auto eq = key.find('='); key.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = key.substr(eq + 1);
            key = key.substr(0, eq);
            hasValue = true;
        }
        if (key == "--help" || key == "-h") {
            o.help = true;
            continue;
        }
        if (key == "--monitor-in-exchange") {
            o.monitorInExchange = true;
            continue;
        }
        if (key == "--wb-afr" || key == "--wb-lambda") {
            o.widebandAfr = key == "--wb-afr";
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                r.error =
                    key.rfind("--", 0) == 0 ? key + " needs a value" : "unexpected argument " + key;
                return r;
            }
            value = args[++i];
        }
        long n = 0;
        bool ok = true;
        if (key == "--link") {
            o.linkPath = value;
            ok = !value.empty();
        } else if (key == "--name") {
            ok = !value.empty() && value.size() <= 3;
            o.name = value;
        } else if (key == "--number") {
            ok = toLong(value, 0, 255, n);
            o.number = static_cast<int>(n);
        } else if (key == "--date") {
            ok = parseDate(value, o);
        } else if (key == "--time") {
            ok = parseTime(value, o);
        } else if (key == "--read-enable") {
            ok = toLong(value, 0, 255, n);
            o.readEnable = static_cast<int>(n);
        } else if (key == "--format-version") {
            ok = toLong(value, 0, 255, n);
            o.formatVersion = static_cast<int>(n);
        } else if (key == "--image") {
            o.imageFile = value;
        } else if (key == "--params") {
            o.paramsFile = value;
        } else if (key == "--model") {
            ok = toLong(value, 0, ModelCount - 1, n);
            o.model = static_cast<int>(n);
        } else if (key == "--programmings") {
            ok = toLong(value, 0, 65535, n);
            o.programmingCount = static_cast<int>(n);
        } else if (key == "--water") {
            ok = toLong(value, -40, 150, n);
            o.startWaterC = static_cast<double>(n);
        } else if (key == "--hold-rpm") {
            ok = toLong(value, 0, 25000, n);
            o.holdRpm = static_cast<int>(n);
        } else if (key == "--hold-throttle") {
            ok = toLong(value, 0, 100, n);
            o.holdThrottle = static_cast<int>(n);
        } else if (key == "--monitor") {
            // "tick": one frame per 55 ms tick, the most the tuner takes.
            ok = value == "tick" ? (n = 55, true) : toLong(value, 0, 60000, n);
            o.monitorMs = static_cast<int>(n);
        } else if (key == "--phase") {
            ok = toLong(value, 0, 60000, n);
            o.phaseMs = static_cast<int>(n);
        } else if (key == "--scenario") {
            ok = value == "demo" || value == "ride";
            o.ride = value == "ride";
        } else if (key == "--speed") {
            ok = toLong(value, 1, 1000, n);
            o.timeScale = static_cast<double>(n);
        } else if (key == "--gap") {
            ok = toLong(value, 0, 1000, n);
            o.gapMs = static_cast<int>(n);
        } else if (key == "--baud") {
            ok = toLong(value, 0, 4000000, n) && (n == 0 || n >= 50);
            o.baud = static_cast<int>(n);
        } else if (key == "--seed") {
            ok = toLong(value, 0, 0x7FFFFFFF, n);
            o.seed = static_cast<std::uint64_t>(n);
        } else if (key == "--drop") {
            ok = toProbability(value, o.dropProbability);
        } else if (key == "--corrupt") {
            ok = toProbability(value, o.corruptProbability);
        } else if (key == "--wrong-echo") {
            ok = toLong(value, 1, 11, n);
            o.wrongEchoBlock = static_cast<int>(n);
        } else if (key == "--late") {
            ok = toLong(value, 0, 10000, n);
            o.lateMs = static_cast<int>(n);
        } else if (key == "--late-prob") {
            ok = toProbability(value, o.lateProbability);
        } else if (key == "--requirement") {
            o.requirementFile = value;
            ok = !value.empty();
        } else if (key == "--requirement-seed") {
            ok = toLong(value, 0, 0x7FFFFFFF, n);
            o.requirementSeed = static_cast<std::uint64_t>(n);
        } else if (key == "--requirement-spread") {
            ok = toNumber(value, 0.0, 50.0, o.requirementSpread);
        } else if (key == "--delay-ms") {
            ok = toLong(value, 10, 2000, n);
            o.delayMsAt3000 = static_cast<int>(n);
        } else if (key == "--wideband") {
            o.widebandPath = value;
            ok = !value.empty();
        } else if (key == "--wb-protocol") {
            const std::pair<const char*, WidebandProtocol> names[] = {
                {"mts", WidebandProtocol::InnovateMts},
                {"aem", WidebandProtocol::AemText},
                {"plm", WidebandProtocol::MotecPlm},
                {"line", WidebandProtocol::NumberPerLine}};
            ok = false;
            for (const auto& [name, protocol] : names) {
                if (value == name) {
                    o.widebandProtocol = protocol;
                    ok = true;
                }
            }
        } else if (key == "--wb-stoich") {
            ok = toNumber(value, 1.0, 50.0, o.widebandStoich);
        } else if (key == "--wb-warmup") {
            ok = toNumber(value, 0.0, 1e7, o.widebandWarmupS);
        } else if (key == "--wb-error-at") {
            ok = parseSpan(value, o.widebandErrorAtS, o.widebandErrorS);
        } else if (key == "--wb-junk") {
            ok = toProbability(value, o.widebandJunk);
        } else if (key == "--log") {
            o.logFile = value;
        } else if (key == "--save-image") {
            o.saveImageFile = value;
        } else {
            r.error = "unknown option " + key;
            return r;
        }
        if (!ok) {
            r.error = "bad value for " + key + ": " + value;
            return r;
        }
    }
    if (!o.help && o.linkPath.empty()) r.error = "--link PATH is required";
    if (!o.imageFile.empty() && !o.paramsFile.empty())
        r.error = "--image and --params cannot be used together";
    if (!o.requirementFile.empty() && o.requirementSeed)
        r.error = "--requirement and --requirement-seed cannot be used together";
    if (!o.widebandPath.empty() && o.widebandPath == o.linkPath)
        r.error = "--wideband needs a path of its own";
    return r;
}

ImageResult buildInitialImage(const SimOptions& o) {
    ImageResult r;
    Image& image = r.image;
    if (!o.imageFile.empty()) {
        std::ifstream in(o.imageFile, std::ios::binary);
        if (!in) {
            r.error = "cannot open image file " + o.imageFile;
            return r;
        }
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() != ImageSize) {
            r.error = o.imageFile + ": an image file holds exactly 240 bytes, this one " +
                      std::to_string(bytes.size());
            return r;
        }
        for (std::size_t i = 0; i < ImageSize; ++i) image[i] = static_cast<std::uint8_t>(bytes[i]);
    } else {
        Calibration cal;
        cal[Klicovani] = static_cast<std::uint8_t>(o.model);
        setDefaultCalibration(cal);
        applyModelTable(cal);
        if (!o.paramsFile.empty()) {
#ifdef VELMORA_SIM_PARAMS
            if (!openParamFile(o.paramsFile, cal)) {
                r.error = "cannot read parameter file " + o.paramsFile;
                return r;
            }
            // A file does not carry the per-model values; a unit holds those of its model.
            applyModelTable(cal);
#else
            r.error = "parameter files are not supported by this build";
            return r;
#endif
        }
        clamp(cal);
        pack(cal, image);
        const char defaultName[3] = {'V', 'L', 'M'};
        for (int i = 0; i < 3; ++i) image[ProgName + i] = static_cast<std::uint8_t>(defaultName[i]);
        image[ProgNumber] = 52;
        image[ProgDay] = 14;
        image[ProgMonth] = monthCode(3);
        image[ProgYear] = 24;
        image[ProgHour] = 10;
        image[ProgMinute] = 30;
        image[ReadEnable] = 1;
        image[FormatVersion] = SupportedFormatVersion;
    }

    if (o.name) {
        for (std::size_t i = 0; i < 3; ++i)
            image[ProgName + i] = i < o.name->size() ? static_cast<std::uint8_t>((*o.name)[i]) : 0;
    }
    if (o.number) image[ProgNumber] = static_cast<std::uint8_t>(*o.number);
    if (o.day) image[ProgDay] = static_cast<std::uint8_t>(*o.day);
    if (o.month) image[ProgMonth] = monthCode(*o.month);
    if (o.year) image[ProgYear] = static_cast<std::uint8_t>(*o.year - 2000);
    if (o.hour) image[ProgHour] = static_cast<std::uint8_t>(*o.hour);
    if (o.minute) image[ProgMinute] = static_cast<std::uint8_t>(*o.minute);
    if (o.readEnable) image[ReadEnable] = static_cast<std::uint8_t>(*o.readEnable);
    if (o.formatVersion) image[FormatVersion] = static_cast<std::uint8_t>(*o.formatVersion);
    return r;
}

std::string helpText() {
    return R"(Usage: velmora52-sim --link PATH [options]

A simulated Velmora 52 control unit on a pseudo-terminal. PATH becomes a symlink to
the terminal; open PATH like a serial port (9600 8N1). The symlink is removed at exit.
The unit answers read requests (0x40+k) with its blocks, stores and echoes programmed
blocks 1..11 (0x00+k), answers block 0 of a program with its own identification, and
sends monitor frames 0xB0, 0xB1, 0xB2 in turn from a simulated engine (start, idle,
throttle blips, a full-throttle run with shifts, start limiter, warm-up; 40 s round).

Identification (block 0):
  --name ABC            program name, up to 3 characters      (default VLM)
  --number N            program number 0..255                   (default 52)
  --date DD.MM.YYYY     program date, year 2000..2255           (default 14.03.2024)
  --time HH:MM          program time                            (default 10:30)
  --read-enable N       1 allows reading, any other value refuses it (default 1);
                        a stored calibration with "No Reading" set also refuses it
  --format-version N    layout version reported; the tuner expects 5 (default 5)

Calibration:
  --image FILE          start from a 240-byte image file (block 0 included; the
                        identification options above override its block 0)
  --params FILE         start from a parameter text file laid over the defaults of
                        --model; the per-model values follow the file's KEYING
  --model N             otherwise the default calibration of model N 0..13 (default 6)
  --save-image FILE     write the 240-byte image after every completed programming
                        and at exit (written to FILE.tmp, then renamed)
  --programmings N      initial number of programmings shown by the monitor (default 0)

Monitor and line:
  --monitor MS          interval between monitor frames, 0 = none   (default 100);
                        "tick" = 55, one per tick of the tuner
  --phase MS            the first monitor frame after the host opens the line comes
                        MS later than --monitor says (default 0)
  --scenario NAME       demo: the 40 s round above (default); ride: a long ride that
                        never repeats exactly (warm-up, town, country road, motorway,
                        pulls through the gears, stops), for test logs of hours
  --speed K             the engine runs K times faster than real time, 1..1000
                        (default 1); with --scenario ride, K = 60 rides an hour a minute
  --monitor-in-exchange keep sending monitor frames while the host is exchanging
                        blocks (by default they pause for 300 ms after each request)
  --gap MS              silence kept between a monitor frame and any other frame,
                        so the host never finds two frames glued together (default 70)
  --water C             water temperature at start, -40..150 °C (default 20)
  --hold-rpm N          hold the engine speed at N rpm, without noise (0..25000)
  --hold-throttle P     hold the throttle at P % (0..100)
  --baud N              pace the line at N baud, 10 bits per byte; a request counts as
                        received one frame time after its first byte; 0 = as fast as
                        the terminal allows (default 9600)

Faults (all drawn from --seed, so a run can be repeated):
  --seed N              seed of the engine noise and of the faults (default 1)
  --drop P              probability 0..1 that a reply is not sent
  --corrupt P           probability 0..1 that a sent byte is damaged
  --wrong-echo K        the echo of programmed block K (1..11) has one wrong byte
  --late MS             delay replies by MS milliseconds
  --late-prob P         probability 0..1 that a reply is delayed (default 1)

Engine fuel and lambda:
  --requirement FILE    the engine's real fuel need: ten rows of ten numbers in map
                        percent, the 0 % throttle row first, as the map window copies
                        them (tabs or spaces, '.' decimals); columns on the speed axis
                        of the starting calibration, whose water, air and cylinder 2/3
                        corrections are what the engine needs
  --requirement-seed N  a smooth pattern drawn from N instead: the starting map times
                        up to +-SPREAD % (default: the engine needs what the map gives,
                        lambda 1 when warm)
  --requirement-spread P  SPREAD of the pattern, 0..50 % (default 20)
  --delay-ms MS         transport delay to the lambda sensors at 3000 rpm; it scales
                        with 3000 / rpm within 100..400 ms (default 200)
  The lambda is the fuel needed over the fuel delivered: the map at the operating point
  with the water, air and cylinder 2/3 corrections, acceleration and start injection;
  no fuel (throttle closed above idle + 1500 rpm) reaches the sensors as air.

Wide-band lambda controller (a second pseudo-terminal):
  --wideband PATH       PATH becomes a symlink to the controller's terminal
  --wb-protocol NAME    mts: Innovate MTS, 19200 baud, every 81.92 ms (default);
                        aem: AEM text, 9600 baud, 10 a second; plm: MoTeC PLM,
                        9600 baud, 20 a second; line: one number a line, 9600 baud,
                        10 a second
  --wb-afr, --wb-lambda the text protocols send AFR (default) or lambda
  --wb-stoich AFR       stoichiometric ratio of the fuel (default 14.7)
  --wb-warmup S         warm-up status for the first S engine seconds (default 0)
  --wb-error-at S[:D]   sensor error status from engine second S for D seconds
                        (default 2)
  --wb-junk P           probability 0..1 that a reading has a damaged byte
  SIGUSR1 unplugs the controller: its link and terminal vanish for 2 s, then come
  back at the same path.

Other:
  --log FILE            log every frame, both directions, as hex with a time stamp:
                        "<seconds> RX|TX <22 bytes>" and a "# note" where one applies
  --help                this text

Requests with a wrong check byte, replies, monitor commands and blocks above 11 are
not answered. Bytes more than 20 ms apart start a new frame. SIGINT and SIGTERM end
the program cleanly. Exit status: 0 after a clean end, 1 on a failure to start,
2 on a bad command line.
)";
}

} // namespace velmora::sim
