#include "calibration.h"

#include <string>
#include <vector>

namespace velmora {

static_assert(RPM_JET_0 == RetardD + 1 && VODA_10 == MODEL_TAB_0 + 10);
static_assert(RPM_PRIV_0 == PRIV_HYSTER + 1 && ExtMonitor == NAP_PRIV_0 + 10);

namespace {

struct Single {
    Param param;
    const char* name;
    int offset;
    std::uint8_t mask;
};

// Parameters that are not members of a ten-element series.
constexpr Single kSingles[] = {
    {AdvanceMax, "AdvanceMax", 27, 0},
    {Omez1, "Omez1", 23, 0},
    {Omez2, "Omez2", 24, 0},
    {gcClutch, "gcClutch", 25, 0},
    {PilotLight, "PilotLight", 26, 0},
    {Klicovani, "Klicovani", 22, 0},
    {Rpm2Krat, "Rpm2Krat", 20, 0x80},
    {ModelFlag, "ModelFlag", 20, 0x40},
    {ZakazCteni, "ZakazCteni", 20, 0x20},
    {GasEnable, "GasEnable", 20, 0x10},
    {AktBlok, "AktBlok", 21, 0x80},
    {AktClutch, "AktClutch", 21, 0x40},
    {AktOmez1, "AktOmez1", 21, 0x20},
    {AktRpm, "AktRpm", 21, 0x10},
    {AktN2o, "AktN2o", 21, 0x08},
    {Gas1, "Gas1", 208, 0},
    {Gas2, "Gas2", 209, 0},
    {GasT, "GasT", 210, 0},
    {GasD, "GasD", 211, 0},
    {Retard1, "Retard1", 212, 0},
    {Retard2, "Retard2", 213, 0},
    {RetardT, "RetardT", 214, 0},
    {RetardD, "RetardD", 215, 0},
    {VODA_10, "VODA_10", 190, 0},
    {VODA20, "VODA20", 191, 0},
    {VODA50, "VODA50", 192, 0},
    {VODA80, "VODA80", 193, 0},
    {VODA110, "VODA110", 194, 0},
    {VZDUCH_10, "VZDUCH_10", 195, 0},
    {VZDUCH20, "VZDUCH20", 196, 0},
    {VZDUCH50, "VZDUCH50", 197, 0},
    {VZDUCH80, "VZDUCH80", 198, 0},
    {VZDUCH110, "VZDUCH110", 199, 0},
    {TPS_0, "TPS_0", 200, 0},
    {TPS_100, "TPS_100", 201, 0},
    {AKCEL_PRAH, "AKCEL_PRAH", 202, 0},
    {AKCEL_JET, "AKCEL_JET", 203, 0},
    {MODEL_CONST, "MODEL_CONST", 204, 0},
    {POLOHA_PRO, "POLOHA_PRO", 205, 0},
    {START_JET, "START_JET", 206, 0},
    {CHLAZENI, "CHLAZENI", 207, 0},
    {PRIV_HYSTER, "PRIV_HYSTER", 28, 0},
    {ExtMonitor, "ExtMonitor", -1, 0},
};

struct Series {
    Param head;
    const char* prefix;
    int firstNumber; // RpmAdv and Advance count from 1, the others from 0
    int offset;
};

constexpr Series kSeries[] = {
    {RpmAdv1, "RpmAdv", 1, 40},          {Advance1, "Advance", 1, 50},
    {RPM_JET_0, "RPM_JET_", 0, 160},     {KOR23_0, "KOR23_", 0, 170},
    {MODEL_TAB_0, "MODEL_TAB_", 0, 180}, {RPM_PRIV_0, "RPM_PRIV_", 0, 220},
    {NAP_PRIV_0, "NAP_PRIV_", 0, 230},
};

struct Table {
    std::array<std::string, ParamCount> names;
    std::array<ParamInfo, ParamCount> info{};

    Table() {
        for (const Single& s : kSingles) {
            names[s.param] = s.name;
            info[s.param] = {nullptr, s.offset, s.mask};
        }
        for (const Series& s : kSeries) {
            for (int i = 0; i < 10; ++i) {
                names[at(s.head, i)] = s.prefix + std::to_string(s.firstNumber + i);
                info[at(s.head, i)] = {nullptr, s.offset + i, 0};
            }
        }
        for (int r = 0; r < 10; ++r) {
            for (int c = 0; c < 10; ++c) {
                names[jetCell(r, c)] = "JET" + std::to_string(r) + "_" + std::to_string(c);
                info[jetCell(r, c)] = {nullptr, 60 + 10 * r + c, 0};
            }
        }
        for (std::size_t p = 0; p < ParamCount; ++p) info[p].name = names[p].c_str();
    }
};

const Table& table() {
    static const Table t;
    return t;
}

char digit(unsigned n) {
    return static_cast<char>(48 + n);
}

} // namespace

const ParamInfo& paramInfo(Param p) {
    return table().info[p];
}
const char* paramName(Param p) {
    return table().info[p].name;
}

std::optional<Param> findParam(std::string_view name) {
    const Table& t = table();
    for (std::size_t p = 0; p < ParamCount; ++p) {
        if (t.names[p] == name) return static_cast<Param>(p);
    }
    return std::nullopt;
}

bool isFlag(Param p) {
    return table().info[p].mask != 0 || p == ExtMonitor;
}

bool sameSetting(Param p, const Calibration& a, const Calibration& b) {
    return isFlag(p) ? (a[p] != 0) == (b[p] != 0) : a[p] == b[p];
}

bool sameSettings(const Calibration& a, const Calibration& b) {
    for (std::size_t p = 0; p < ParamCount; ++p)
        if (!sameSetting(static_cast<Param>(p), a, b)) return false;
    return true;
}

void pack(const Calibration& cal, Image& image) {
    image[FlagByteA] = 0;
    image[FlagByteB] = 0;
    for (std::size_t p = 0; p < ParamCount; ++p) {
        const ParamInfo& info = table().info[p];
        if (info.imageOffset < 0) continue;
        if (info.mask != 0) {
            if (cal.v[p] != 0) image[info.imageOffset] |= info.mask;
        } else {
            image[info.imageOffset] = cal.v[p];
        }
    }
}

void unpack(const Image& image, Calibration& cal, Identification& ident) {
    for (std::size_t p = 0; p < ParamCount; ++p) {
        const ParamInfo& info = table().info[p];
        if (info.imageOffset < 0) continue;
        const std::uint8_t byte = image[info.imageOffset];
        cal.v[p] = info.mask != 0 ? static_cast<std::uint8_t>(byte & info.mask) : byte;
    }
    ident = rebuildIdentification(image);
}

const char* monthText(std::uint8_t code) {
    static constexpr struct {
        std::uint8_t code;
        const char* text;
    } kMonths[] = {{25, " 1"}, {13, " 2"}, {32, " 3"}, {35, " 4"}, {39, " 5"}, {45, " 6"},
                   {43, " 7"}, {29, " 8"}, {40, " 9"}, {38, "10"}, {51, "11"}, {12, "12"}};
    for (const auto& m : kMonths) {
        if (m.code == code) return m.text;
    }
    return "00";
}

Identification rebuildIdentification(const Image& image) {
    Identification id;
    // A zero byte among the three name characters ends the program text there.
    bool ended = false;
    for (int i = 0; i < 3 && !ended; ++i) {
        if (image[ProgName + i] == 0) {
            ended = true;
        } else {
            id.program += static_cast<char>(image[ProgName + i]);
        }
    }
    if (!ended) {
        id.program += digit(image[ProgNumber] / 10);
        id.program += digit(image[ProgNumber] % 10);
    }

    const unsigned day = image[ProgDay];
    id.date += day < 10 ? ' ' : digit(day / 10);
    id.date += digit(day % 10);
    id.date += '.';
    id.date += monthText(image[ProgMonth]);
    id.date += ".20";
    id.date += digit(image[ProgYear] / 10);
    id.date += digit(image[ProgYear] % 10);

    id.time += digit(image[ProgHour] / 10);
    id.time += digit(image[ProgHour] % 10);
    id.time += ':';
    id.time += digit(image[ProgMinute] / 10);
    id.time += digit(image[ProgMinute] % 10);
    return id;
}

} // namespace velmora
