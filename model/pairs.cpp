#include "model/pairs.h"

#include <sstream>

namespace velmora {

namespace {

// A run of pairs that differ only in their number and position. Names are "Edit" and
// "UpDown" followed by the suffix: the stem with a running number from `first`, or, when
// `first` is below 0, the stem's blank-separated words one by one.
struct Run {
    const char* stem;
    int first;
    int count;
    Param param; // of the first pair; the others follow one by one
    int factor;
    bool tpsOffset;
    int min, max, step;
    int initial;
    const int* initials; // per pair, or nullptr for `initial` everywhere
    bool grouping;
    Commit commit;
    const char* parent;
    int x, y;   // first edit box
    int perRow; // pairs per row before the next row starts
    int dx, dy; // step along a row and from row to row
    int width;
};

constexpr int SpeedColumns[10] = {1000, 2000, 3000, 4000, 6000, 8000, 10000, 12000, 14000, 16000};
constexpr int WaterInitial[5] = {112, 107, 103, 100, 97};

constexpr Commit Exit = Commit::Exit;
constexpr Commit Click = Commit::Click;

// In the order the controls are read.
// clang-format off
const Run kRuns[] = {
    // TabSheet1: the advance curve, speed column then advance column, one row per point.
    {"", 1, 9, RpmAdv1, 100, false, 300, 20100, 100, 600, nullptr, true, Exit, "GroupBox1", 12, 36, 1, 0, 30, 56},
    {"", 10, 1, at(RpmAdv1, 9), 100, false, 300, 21000, 100, 600, nullptr, true, Exit, "GroupBox1", 12, 306, 1, 0, 30, 56},
    {"", 11, 10, Advance1, 1, false, 0, 125, 1, 30, nullptr, true, Exit, "GroupBox1", 108, 36, 1, 0, 30, 48},
    {"Omez", 1, 2, Omez1, 100, false, 999, 25000, 100, 15000, nullptr, true, Exit, "GroupBox3", 8, 56, 1, 0, 40, 54},
    {"", 45, 1, gcClutch, 10, false, 0, 1000, 10, 0, nullptr, true, Exit, "GroupBox3", 8, 136, 1, 0, 40, 54},
    {"", 46, 1, PilotLight, 100, false, 1000, 25000, 100, 15000, nullptr, true, Exit, "GroupBox3", 8, 176, 1, 0, 40, 54},
    // TabSheet4: N2O stages and ignition retard.
    {"Gas", 1, 2, Gas1, 1, false, 0, 100, 1, 0, nullptr, true, Exit, "GroupBoxGas", 8, 26, 1, 0, 42, 54},
    {"GasD", -1, 1, GasD, 100, false, 0, 25500, 100, 100, nullptr, true, Exit, "GroupBoxGas", 8, 110, 1, 0, 42, 54},
    {"GasT", -1, 1, GasT, 100, false, 0, 25500, 100, 0, nullptr, true, Exit, "GroupBoxGas", 8, 152, 1, 0, 42, 54},
    {"Retard", 1, 2, Retard1, 1, false, 0, 25, 1, 0, nullptr, true, Exit, "GroupBoxRetard", 8, 26, 1, 0, 42, 54},
    {"RetardD", -1, 1, RetardD, 100, false, 0, 25500, 100, 100, nullptr, true, Exit, "GroupBoxRetard", 8, 110, 1, 0, 42, 54},
    {"RetardT", -1, 1, RetardT, 100, false, 0, 25500, 100, 0, nullptr, true, Exit, "GroupBoxRetard", 8, 152, 1, 0, 42, 54},
    // TabSheet4: the privera valve table.
    {"RpmPriv", 1, 10, RPM_PRIV_0, 100, false, 300, 20100, 100, 0, SpeedColumns, true, Exit, "GroupBoxPrivera", 44, 20, 10, 59, 0, 42},
    {"NapPriv", 1, 10, NAP_PRIV_0, 20, false, 20, 4860, 20, 100, nullptr, true, Exit, "GroupBoxPrivera", 44, 50, 10, 59, 0, 42},
    // TabSheet2: the speed columns above the map, then the map row by row.
    {"RpmJet", 1, 10, RPM_JET_0, 100, false, 300, 20100, 100, 0, SpeedColumns, true, Exit, "GroupBox6", 44, 10, 10, 60, 0, 44},
    {"", 50, 100, JET0_0, 1, false, 5, 250, 1, 100, nullptr, false, Exit, "GroupBox6", 44, 58, 10, 60, 28, 44},
    // TabSheet3: every box here hands its text on when clicked.
    {"", 150, 10, KOR23_0, 1, false, 10, 250, 1, 100, nullptr, false, Click, "GroupBoxKor23", 44, 44, 10, 59, 0, 42},
    {"Tps0", -1, 1, TPS_0, 10, false, 300, 2500, 10, 300, nullptr, true, Click, "GroupBoxTps", 10, 24, 1, 0, 40, 56},
    {"Tps100", -1, 1, TPS_100, 10, true, 2500, 4600, 10, 2500, nullptr, true, Click, "GroupBoxTps", 10, 64, 1, 0, 40, 56},
    {"AkcelPrah", -1, 1, AKCEL_PRAH, 10, false, 10, 2500, 10, 100, nullptr, true, Click, "GroupBoxAkcel", 10, 24, 1, 0, 36, 56},
    {"AkcelJet", -1, 1, AKCEL_JET, 30, false, 0, 7500, 30, 50, nullptr, true, Click, "GroupBoxAkcel", 10, 60, 1, 0, 36, 56},
    {"StartJet", -1, 1, START_JET, 1, false, 0, 50, 1, 0, nullptr, true, Click, "GroupBoxStartJet", 10, 24, 1, 0, 0, 56},
    {"Chlazeni", -1, 1, CHLAZENI, 1, false, 0, 100, 1, 0, nullptr, true, Click, "GroupBoxChlazeni", 10, 24, 1, 0, 0, 56},
    {"Voda_10 Voda20 Voda50 Voda80 Voda110", -1, 5, VODA_10, 1, false, 10, 250, 1, 0, WaterInitial, true, Click, "GroupBoxVoda", 10, 24, 1, 0, 30, 48},
    {"Vzduch_10 Vzduch20 Vzduch50 Vzduch80 Vzduch110", -1, 5, VZDUCH_10, 1, false, 10, 250, 1, 10, nullptr, true, Click, "GroupBoxVzduch", 10, 24, 1, 0, 30, 48},
    // TabSheet4 again: the privera hysteresis is read last.
    {"PrivHyster", -1, 1, PRIV_HYSTER, 5, false, 0, 1275, 5, 300, nullptr, true, Exit, "GroupBoxPrivera", 44, 88, 1, 0, 0, 48},
};
// clang-format on

std::vector<std::string> suffixes(const Run& run) {
    std::vector<std::string> out;
    if (run.first >= 0) {
        for (int i = 0; i < run.count; ++i) out.push_back(run.stem + std::to_string(run.first + i));
    } else {
        std::istringstream words(run.stem);
        for (std::string w; words >> w;) out.push_back(w);
    }
    return out;
}

std::vector<PairSpec> buildTable() {
    std::vector<PairSpec> table;
    table.reserve(PairCount);
    for (const Run& run : kRuns) {
        const std::vector<std::string> names = suffixes(run);
        for (int i = 0; i < run.count; ++i) {
            PairSpec s;
            s.edit = "Edit" + names.at(static_cast<std::size_t>(i));
            s.updown = "UpDown" + names.at(static_cast<std::size_t>(i));
            s.param = at(run.param, i);
            s.factor = run.factor;
            s.tpsOffset = run.tpsOffset;
            s.min = run.min;
            s.max = run.max;
            s.step = run.step;
            s.initial = run.initials != nullptr ? run.initials[i] : run.initial;
            s.grouping = run.grouping;
            s.commit = run.commit;
            s.parent = run.parent;
            s.x = run.x + (i % run.perRow) * run.dx;
            s.y = run.y + (i / run.perRow) * run.dy;
            s.width = run.width;
            table.push_back(std::move(s));
        }
    }
    return table;
}

} // namespace

const std::vector<PairSpec>& pairTable() {
    static const std::vector<PairSpec> table = buildTable();
    return table;
}

const std::vector<FlagBoxSpec>& flagBoxTable() {
    static const std::vector<FlagBoxSpec> table = {
        {"CheckBoxZakazCteni", ZakazCteni, true}, {"CheckBox6", Rpm2Krat, false},
        {"CheckBoxGas", GasEnable, true},         {"CheckBoxExtMonitor", ExtMonitor, true},
        {"CheckBoxAktLimiter1", AktOmez1, false}, {"CheckBoxAktClutch", AktClutch, false},
        {"CheckBoxAktBlok", AktBlok, false},      {"CheckBoxAktRpm", AktRpm, false},
        {"CheckBoxAktN2o", AktN2o, false},
    };
    return table;
}

int toDisplay(const PairSpec& spec, std::uint8_t stored) {
    if (spec.tpsOffset) return (stored + 250) * 10;
    return stored * spec.factor;
}

std::uint8_t toStored(const PairSpec& spec, int position) {
    if (position < 0) position = 0;
    const auto divided = static_cast<std::uint8_t>((position / spec.factor) & 0xFF);
    // position / 10 - 250 taken modulo 256.
    if (spec.tpsOffset) return static_cast<std::uint8_t>(divided + 6);
    return divided;
}

} // namespace velmora
