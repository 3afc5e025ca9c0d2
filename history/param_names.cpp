#include "history/param_names.h"

#include <cstdlib>
#include <stdexcept>

#include "lang/history_texts.h"
#include "model/defaults.h"
#include "model/pairs.h"

namespace velmora {

namespace {

using lang::ParamText;
using PT = ParamText;

// How the label of a member of a series is completed.
enum class Index : std::uint8_t {
    None,
    Number,    // {n} = 1-based position
    NumberRpm, // {n}, and {rpm} = the display value of the same position in `speeds`
    MapCell,   // {row} = the throttle row, {rpm} = the speed column
    Temperature,
};

struct NameRow {
    Param head;
    int count;
    PT page, group, label;
    Index index = Index::None;
    Param speeds = RpmAdv1;
};

// clang-format off
const NameRow kRows[] = {
    {RpmAdv1, 10, PT::PageIgnition, PT::GroupAdvance, PT::SpeedPoint, Index::Number},
    {Advance1, 10, PT::PageIgnition, PT::GroupAdvance, PT::AdvancePoint, Index::NumberRpm, RpmAdv1},
    {Omez1, 1, PT::PageIgnition, PT::GroupOther, PT::StartLimiter},
    {Omez2, 1, PT::PageIgnition, PT::GroupOther, PT::Limiter},
    {gcClutch, 1, PT::PageIgnition, PT::GroupOther, PT::Clutch},
    {PilotLight, 1, PT::PageIgnition, PT::GroupOther, PT::PilotLight},
    {Klicovani, 1, PT::PageIgnition, PT::GroupOther, PT::Model},
    {Rpm2Krat, 1, PT::PageIgnition, PT::GroupOther, PT::Tacho2x},
    {ZakazCteni, 1, PT::PageIgnition, PT::GroupOther, PT::NoReading},
    {GasEnable, 1, PT::PageIgnition, PT::GroupOther, PT::N2oEnable},
    {AktBlok, 1, PT::PageIgnition, PT::GroupSwitches, PT::ActBlock},
    {AktClutch, 1, PT::PageIgnition, PT::GroupSwitches, PT::ActClutch},
    {AktOmez1, 1, PT::PageIgnition, PT::GroupSwitches, PT::ActLimiter},
    {AktRpm, 1, PT::PageIgnition, PT::GroupSwitches, PT::ActRpm},
    {AktN2o, 1, PT::PageIgnition, PT::GroupSwitches, PT::ActN2o},
    {RPM_JET_0, 10, PT::PageFuelMap, PT::GroupMap, PT::MapColumn, Index::Number},
    {JET0_0, 100, PT::PageFuelMap, PT::GroupMap, PT::MapCell, Index::MapCell, RPM_JET_0},
    {KOR23_0, 10, PT::PageMisc, PT::GroupKor23, PT::Kor23, Index::NumberRpm, RPM_JET_0},
    {TPS_0, 1, PT::PageMisc, PT::GroupTps, PT::Tps0},
    {TPS_100, 1, PT::PageMisc, PT::GroupTps, PT::Tps100},
    {AKCEL_PRAH, 1, PT::PageMisc, PT::GroupAkcel, PT::AkcelThreshold},
    {AKCEL_JET, 1, PT::PageMisc, PT::GroupAkcel, PT::AkcelSize},
    {START_JET, 1, PT::PageMisc, PT::GroupStartJet, PT::StartJet},
    {CHLAZENI, 1, PT::PageMisc, PT::GroupCooling, PT::Cooling},
    {VODA_10, 5, PT::PageMisc, PT::GroupWater, PT::Temperature, Index::Temperature},
    {VZDUCH_10, 5, PT::PageMisc, PT::GroupAir, PT::Temperature, Index::Temperature},
    {Gas1, 1, PT::PageN2o, PT::GroupN2o, PT::Gas1},
    {Gas2, 1, PT::PageN2o, PT::GroupN2o, PT::Gas2},
    {GasD, 1, PT::PageN2o, PT::GroupN2o, PT::Delay},
    {GasT, 1, PT::PageN2o, PT::GroupN2o, PT::BuildUp},
    {Retard1, 1, PT::PageN2o, PT::GroupRetard, PT::Retard1},
    {Retard2, 1, PT::PageN2o, PT::GroupRetard, PT::Retard2},
    {RetardD, 1, PT::PageN2o, PT::GroupRetard, PT::Delay},
    {RetardT, 1, PT::PageN2o, PT::GroupRetard, PT::BuildUp},
    {RPM_PRIV_0, 10, PT::PageN2o, PT::GroupPrivera, PT::PriveraSpeed, Index::Number},
    {NAP_PRIV_0, 10, PT::PageN2o, PT::GroupPrivera, PT::PriveraVoltage, Index::NumberRpm, RPM_PRIV_0},
    {PRIV_HYSTER, 1, PT::PageN2o, PT::GroupPrivera, PT::PriveraHysteresis},
    {ExtMonitor, 1, PT::PageMonitor, PT::GroupOther, PT::ExtMonitor},
    {AdvanceMax, 1, PT::PageModel, PT::GroupModelTable, PT::AdvanceMax},
    {ModelFlag, 1, PT::PageModel, PT::GroupModelTable, PT::ModelFlag},
    {MODEL_TAB_0, 10, PT::PageModel, PT::GroupModelTable, PT::ModelTab, Index::Number},
    {MODEL_CONST, 1, PT::PageModel, PT::GroupModelTable, PT::ModelConst},
    {POLOHA_PRO, 1, PT::PageModel, PT::GroupModelTable, PT::ThrottlePosition},
};
// clang-format on

constexpr const char* kThrottleRows[10] = {"0 %",  "2 %",  "5 %",  "10 %", "20 %",
                                           "30 %", "40 %", "60 %", "80 %", "100 %"};
constexpr int kTemperatures[5] = {-10, 20, 50, 80, 110};

struct Lookup {
    std::array<const NameRow*, ParamCount> row{};
    std::array<int, ParamCount> position{};
    std::array<const PairSpec*, ParamCount> pair{};
    std::array<Param, ParamCount> order{};

    Lookup() {
        std::size_t n = 0;
        for (const NameRow& r : kRows) {
            for (int i = 0; i < r.count; ++i) {
                const Param p = at(r.head, i);
                row[p] = &r;
                position[p] = i;
                order.at(n++) = p;
            }
        }
        if (n != ParamCount) throw std::logic_error("the name table misses parameters");
        for (const PairSpec& s : pairTable()) pair[s.param] = &s;
    }
};

const Lookup& lookup() {
    static const Lookup l;
    return l;
}

void replace(std::string& s, const std::string& key, const std::string& value) {
    const std::size_t at = s.find(key);
    if (at != std::string::npos) s.replace(at, key.size(), value);
}

} // namespace

std::string groupedNumber(long value, std::uint8_t language) {
    const char* separator = language == 0 ? " " : language == 2 ? "." : ",";
    std::string digits = std::to_string(std::labs(value));
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<std::size_t>(i), separator);
    return value < 0 ? "-" + digits : digits;
}

std::string displayText(Param p, const Calibration& cal, std::uint8_t language) {
    const std::uint8_t stored = cal[p];
    if (isFlag(p))
        return lang::historyText(stored != 0 ? lang::HistoryText::On : lang::HistoryText::Off,
                                 language);
    if (p == Klicovani) {
        if (stored >= ModelCount) return std::to_string(stored);
        // The list texts align their columns with runs of blanks; one blank is enough here.
        std::string text;
        for (const char* c = modelListText(stored); *c != '\0'; ++c) {
            if (*c != ' ' || (!text.empty() && text.back() != ' ')) text += *c;
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
    if (const PairSpec* s = lookup().pair[p]) {
        const int value = toDisplay(*s, stored);
        return s->grouping ? groupedNumber(value, language) : std::to_string(value);
    }
    return std::to_string(stored);
}

UserName userName(Param p, const Calibration& context, std::uint8_t language) {
    const Lookup& l = lookup();
    const NameRow& r = *l.row[p];
    const int i = l.position[p];
    std::string label = lang::paramText(r.label, language);
    switch (r.index) {
    case Index::None:
        break;
    case Index::Number:
        replace(label, "{n}", std::to_string(i + 1));
        break;
    case Index::NumberRpm:
        replace(label, "{n}", std::to_string(i + 1));
        replace(label, "{rpm}", displayText(at(r.speeds, i), context, language));
        break;
    case Index::MapCell:
        replace(label, "{row}", kThrottleRows[i / 10]);
        replace(label, "{rpm}", displayText(at(r.speeds, i % 10), context, language));
        break;
    case Index::Temperature:
        replace(label, "{t}", std::to_string(kTemperatures[i]));
        break;
    }
    return {lang::paramText(r.page, language), lang::paramText(r.group, language), label};
}

std::string shortName(Param p, const Calibration& context, std::uint8_t language) {
    std::string label = userName(p, context, language).label;
    const std::size_t bracket = label.rfind(" [");
    if (bracket != std::string::npos && label.back() == ']') label.erase(bracket);
    return label;
}

const std::array<Param, ParamCount>& reportOrder() {
    return lookup().order;
}

} // namespace velmora
