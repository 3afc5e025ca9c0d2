// The calibration of the control unit in its two forms: the named working parameters
// the user edits, and the 240-byte image in the unit's own layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Every working parameter is one unsigned byte addressed by one of these indices.
// Ten-element series are named by their first member; use at(head, i) for the others.
enum Param : std::uint16_t {
    RpmAdv1 = 0,   // .. RpmAdv10 = 9
    Advance1 = 10, // .. Advance10 = 19
    AdvanceMax = 20,
    Omez1,
    Omez2,
    gcClutch,
    PilotLight,
    Klicovani,
    Rpm2Krat,
    ModelFlag,
    ZakazCteni,
    GasEnable,
    AktBlok,
    AktClutch,
    AktOmez1,
    AktRpm,
    AktN2o,
    Gas1,
    Gas2,
    GasT,
    GasD,
    Retard1,
    Retard2,
    RetardT,
    RetardD,
    RPM_JET_0 = 43,    // .. RPM_JET_9
    JET0_0 = 53,       // .. JET9_9 = 152, row-major: JET<r>_<c> = JET0_0 + 10r + c
    KOR23_0 = 153,     // .. KOR23_9
    MODEL_TAB_0 = 163, // .. MODEL_TAB_9
    VODA_10 = 173,
    VODA20,
    VODA50,
    VODA80,
    VODA110,
    VZDUCH_10,
    VZDUCH20,
    VZDUCH50,
    VZDUCH80,
    VZDUCH110,
    TPS_0,
    TPS_100,
    AKCEL_PRAH,
    AKCEL_JET,
    MODEL_CONST,
    POLOHA_PRO,
    START_JET,
    CHLAZENI,
    PRIV_HYSTER,
    RPM_PRIV_0 = 192, // .. RPM_PRIV_9
    NAP_PRIV_0 = 202, // .. NAP_PRIV_9
    ExtMonitor = 212, // window value: kept in the files, never in the image
    ParamCount
};

constexpr Param at(Param head, int i) {
    return static_cast<Param>(head + i);
}
constexpr Param jetCell(int row, int col) {
    return static_cast<Param>(JET0_0 + 10 * row + col);
}

// The working parameters. Every value is an unsigned byte in its stored unit.
struct Calibration {
    std::array<std::uint8_t, ParamCount> v{};

    std::uint8_t& operator[](Param p) { return v[p]; }
    std::uint8_t operator[](Param p) const { return v[p]; }
    bool operator==(const Calibration& o) const { return v == o.v; }
    bool operator!=(const Calibration& o) const { return v != o.v; }
};

constexpr std::size_t ImageSize = 240;
constexpr std::size_t BlockSize = 20;
constexpr std::size_t BlockCount = 12;
using Image = std::array<std::uint8_t, ImageSize>;

// Image bytes of block 0 that identify the unit's program.
enum ImageOffset : std::size_t {
    ProgName = 0, // three characters
    ProgNumber = 3,
    ProgDay = 4,
    ProgMonth = 5,
    ProgYear = 6,
    ProgHour = 7,
    ProgMinute = 8,
    ReadEnable = 9,
    FormatVersion = 10,
    FlagByteA = 20,
    FlagByteB = 21,
};

constexpr std::uint8_t SupportedFormatVersion = 5;

// The three texts of the unit's program shown in LabelVerze1..3, as 8-bit text.
struct Identification {
    std::string program; // up to 5 characters
    std::string date;    // 10 characters
    std::string time;    // 5 characters
    bool operator==(const Identification& o) const {
        return program == o.program && date == o.date && time == o.time;
    }
};

struct ParamInfo {
    const char* name;  // the INI key and the name used everywhere in the system
    int imageOffset;   // -1: not in the image
    std::uint8_t mask; // non-zero: a flag held as this bit of imageOffset
};

const ParamInfo& paramInfo(Param p);
const char* paramName(Param p);
// Exact, case-sensitive lookup of a working parameter by its name.
std::optional<Param> findParam(std::string_view name);

// A switch is on when it is non-zero: a read gives it as its bit of the image, a check box as
// 1, and both are the same setting.
bool isFlag(Param p);
bool sameSetting(Param p, const Calibration& a, const Calibration& b);
// Equal in every parameter, switches by whether they are on.
bool sameSettings(const Calibration& a, const Calibration& b);

void pack(const Calibration& cal, Image& image);
void unpack(const Image& image, Calibration& cal, Identification& ident);
Identification rebuildIdentification(const Image& image);

// " 1".."12" for the twelve valid month codes, "00" for every other code.
const char* monthText(std::uint8_t code);

} // namespace velmora
