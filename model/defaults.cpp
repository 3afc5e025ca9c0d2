#include "defaults.h"

namespace velmora {

namespace {

using Ten = std::uint8_t[10];
using Five = std::uint8_t[5];

const char* const kModelList[ModelCount] = {
    "Aprilia RSV MILE                 98-", "Honda CBR 600 F               01-02",
    "Honda CBR 900 RR            02-",      "Honda VTR 1000 SP-1        01-02",
    "Kawasaki ZX 6R PCE          02",       "Kawasaki ZX12 R                00-",
    "Suzuki GSX-R600                01- ",  "Suzuki GSX-R750                00-",
    "Suzuki GSX-R1000              01-",    "Suzuki TL 1000 R                98-",
    "Yamaha YZF-R1                  02-",   "Yamaha YZF-R6                  03-",
    "Kawasaki  ZX6RR               ",       "MZ 125",
};

struct IgnitionRow {
    Ten advance;
    std::uint8_t omez1, omez2, pilotLight, rpm2Krat, aktBlok;
};

const IgnitionRow kIgnition[ModelCount] = {
    {{13, 14, 20, 28, 31, 33, 31, 31, 31, 31}, 80, 110, 90, 1, 1},
    {{7, 15, 25, 29, 35, 32, 31, 30, 33, 33}, 100, 140, 120, 1, 1},
    {{5, 10, 23, 40, 40, 40, 40, 37, 37, 37}, 90, 120, 100, 1, 1},
    {{13, 16, 31, 39, 39, 39, 38, 38, 38, 38}, 80, 110, 90, 1, 1},
    {{16, 30, 38, 35, 39, 40, 39, 39, 34, 34}, 100, 140, 120, 0, 1},
    {{19, 23, 30, 33, 31, 31, 31, 31, 31, 31}, 80, 110, 90, 0, 0},
    {{16, 30, 38, 35, 39, 40, 39, 39, 34, 34}, 100, 140, 120, 0, 1},
    {{4, 17, 43, 37, 44, 39, 39, 37, 35, 32}, 95, 136, 116, 0, 1},
    {{10, 25, 28, 26, 29, 31, 29, 29, 29, 29}, 90, 120, 100, 0, 1},
    {{10, 10, 25, 35, 40, 40, 41, 41, 41, 41}, 80, 100, 90, 0, 1},
    {{6, 14, 30, 35, 40, 38, 38, 35, 35, 35}, 80, 120, 100, 1, 0},
    {{14, 22, 38, 39, 38, 40, 35, 32, 32, 28}, 80, 150, 130, 1, 0},
    {{18, 19, 29, 31, 33, 31, 32, 31, 30, 30}, 100, 140, 120, 1, 0},
    {{16, 30, 38, 35, 39, 40, 39, 39, 34, 34}, 100, 140, 120, 0, 1},
};

struct InjectionRow {
    std::uint8_t startJet;
    Five voda, vzduch;
    std::uint8_t tps0, tps100;
    Ten kor23;
};

const InjectionRow kInjection[ModelCount] = {
    {10,
     {150, 138, 111, 100, 92},
     {121, 110, 100, 92, 84},
     65,
     153,
     {103, 99, 106, 111, 109, 102, 101, 101, 101, 101}},
    {10,
     {136, 125, 111, 100, 99},
     {119, 109, 100, 100, 100},
     50,
     192,
     {83, 99, 112, 131, 114, 104, 102, 104, 105, 105}},
    {10,
     {160, 139, 126, 100, 100},
     {121, 105, 100, 98, 98},
     50,
     192,
     {87, 101, 100, 99, 96, 96, 101, 104, 104, 104}},
    {10,
     {139, 110, 104, 100, 99},
     {121, 110, 100, 97, 97},
     50,
     192,
     {102, 80, 107, 114, 101, 92, 94, 94, 94, 94}},
    {10,
     {112, 107, 103, 100, 97},
     {106, 103, 100, 100, 100},
     110,
     180,
     {83, 96, 109, 94, 98, 96, 98, 100, 99, 99}},
    {10,
     {125, 114, 107, 100, 98},
     {113, 107, 100, 97, 93},
     108,
     169,
     {102, 107, 105, 96, 101, 102, 99, 100, 100, 100}},
    {10,
     {112, 107, 103, 100, 97},
     {106, 103, 100, 100, 100},
     110,
     180,
     {83, 96, 109, 94, 98, 96, 98, 100, 99, 99}},
    {12,
     {117, 111, 104, 100, 99},
     {110, 105, 100, 100, 100},
     110,
     180,
     {84, 97, 109, 100, 103, 97, 103, 99, 99, 98}},
    {13,
     {113, 109, 105, 100, 97},
     {109, 105, 100, 100, 100},
     110,
     180,
     {94, 111, 130, 102, 102, 102, 103, 101, 101, 101}},
    {10,
     {125, 107, 100, 100, 100},
     {105, 102, 100, 100, 100},
     110,
     180,
     {100, 101, 100, 100, 100, 101, 100, 100, 100, 100}},
    {10,
     {115, 107, 104, 100, 96},
     {105, 101, 100, 90, 85},
     66,
     139,
     {107, 100, 96, 98, 97, 99, 96, 94, 94, 94}},
    {10,
     {124, 120, 109, 100, 98},
     {115, 109, 100, 98, 93},
     66,
     139,
     {102, 94, 122, 110, 110, 93, 97, 103, 102, 102}},
    {10,
     {134, 118, 110, 100, 100},
     {111, 107, 100, 95, 95},
     103,
     180,
     {99, 99, 99, 104, 115, 112, 105, 102, 104, 104}},
    {10,
     {112, 107, 103, 100, 97},
     {106, 103, 100, 100, 100},
     110,
     180,
     {83, 96, 109, 94, 98, 96, 98, 100, 99, 99}},
};

struct ModelRow {
    std::uint8_t advanceMax, modelFlag;
    Ten modelTab;
    std::uint8_t polohaPro, modelConst;
};

const ModelRow kModels[ModelCount] = {
    {75, 1, {124, 124, 120, 120, 117, 115, 114, 114, 114, 114}, 1, 75},
    {101, 0, {152, 150, 149, 227, 230, 240, 217, 212, 227, 227}, 0, 65},
    {100, 0, {191, 191, 188, 196, 205, 235, 21, 31, 31, 31}, 0, 65},
    {95, 0, {152, 150, 149, 227, 230, 240, 217, 212, 227, 227}, 0, 70},
    {101, 0, {124, 108, 82, 82, 74, 72, 80, 84, 80, 80}, 1, 85},
    {98, 0, {127, 134, 144, 144, 147, 74, 24, 24, 24, 24}, 2, 65},
    {100, 0, {124, 108, 82, 82, 74, 72, 80, 84, 80, 80}, 1, 85},
    {100, 0, {124, 122, 87, 77, 45, 18, 243, 221, 225, 228}, 1, 85},
    {102, 0, {78, 83, 104, 114, 121, 145, 147, 146, 146, 146}, 1, 85},
    {90, 0, {184, 184, 184, 124, 124, 124, 124, 124, 124, 124}, 0, 75},
    {97, 0, {102, 89, 70, 53, 52, 36, 32, 30, 30, 30}, 1, 35},
    {102, 0, {112, 109, 107, 101, 115, 103, 85, 71, 62, 39}, 1, 50},
    {73, 0, {158, 159, 157, 157, 157, 137, 73, 37, 29, 29}, 2, 70},
    {60, 0, {124, 108, 82, 82, 74, 72, 80, 84, 80, 80}, 1, 70},
};

constexpr Ten kSpeedAxis = {10, 20, 30, 40, 60, 80, 100, 120, 140, 160};
constexpr Ten kPriveraVoltage = {100, 105, 110, 115, 120, 125, 130, 135, 140, 145};

struct CommonValue {
    Param param;
    std::uint8_t value;
};

// Step 5 of the default calibration: values shared by every model.
constexpr CommonValue kCommonSwitches[] = {
    {gcClutch, 10}, {Gas1, 20},    {Gas2, 60},     {GasD, 20},    {GasT, 30},
    {Retard1, 2},   {Retard2, 6},  {RetardD, 20},  {RetardT, 30}, {ZakazCteni, 0},
    {GasEnable, 0}, {AktOmez1, 1}, {AktClutch, 1}, {AktRpm, 1},   {AktN2o, 1},
};

void setSeries(Calibration& cal, Param head, const std::uint8_t* values, int count) {
    for (int i = 0; i < count; ++i) cal[at(head, i)] = values[i];
}

bool knownModel(const Calibration& cal) {
    return cal[Klicovani] < ModelCount;
}

} // namespace

const char* modelListText(int index) {
    return index >= 0 && index < ModelCount ? kModelList[index] : "";
}

void applyModelTable(Calibration& cal) {
    if (!knownModel(cal)) return;
    const ModelRow& row = kModels[cal[Klicovani]];
    cal[AdvanceMax] = row.advanceMax;
    cal[ModelFlag] = row.modelFlag;
    setSeries(cal, MODEL_TAB_0, row.modelTab, 10);
    cal[POLOHA_PRO] = row.polohaPro;
    cal[MODEL_CONST] = row.modelConst;
}

void setDefaultCalibration(Calibration& cal) {
    setSeries(cal, RPM_PRIV_0, kSpeedAxis, 10);
    setSeries(cal, NAP_PRIV_0, kPriveraVoltage, 10);

    if (knownModel(cal)) {
        const InjectionRow& row = kInjection[cal[Klicovani]];
        cal[START_JET] = row.startJet;
        setSeries(cal, VODA_10, row.voda, 5);
        setSeries(cal, VZDUCH_10, row.vzduch, 5);
        cal[TPS_0] = row.tps0;
        cal[TPS_100] = row.tps100;
        setSeries(cal, KOR23_0, row.kor23, 10);
    }

    for (int cell = 0; cell < 100; ++cell) cal[at(JET0_0, cell)] = 100;
    cal[PRIV_HYSTER] = 40;
    cal[CHLAZENI] = 90;
    cal[AKCEL_PRAH] = 30;
    cal[AKCEL_JET] = 84;
    setSeries(cal, RPM_JET_0, kSpeedAxis, 10);
    setSeries(cal, RpmAdv1, kSpeedAxis, 10);

    if (knownModel(cal)) {
        const IgnitionRow& row = kIgnition[cal[Klicovani]];
        setSeries(cal, Advance1, row.advance, 10);
        cal[Rpm2Krat] = row.rpm2Krat;
        cal[Omez1] = row.omez1;
        cal[Omez2] = row.omez2;
        cal[PilotLight] = row.pilotLight;
        cal[AktBlok] = row.aktBlok;
    }

    for (const CommonValue& c : kCommonSwitches) cal[c.param] = c.value;

    applyModelTable(cal);
}

} // namespace velmora
