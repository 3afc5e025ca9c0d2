#include "model/shifts.h"

#include "model/clamp.h"

namespace velmora {

namespace {

constexpr std::uint8_t CellCeiling = 250;

void lowerCell(std::uint8_t& v) {
    if (v > 0) --v;
}

void raiseCell(std::uint8_t& v) {
    if (v < CellCeiling) ++v;
}

} // namespace

void advanceMinus(Calibration& cal) {
    clamp(cal);
    for (int i = 0; i < 10; ++i) {
        if (cal[at(Advance1, i)] > 0) --cal[at(Advance1, i)];
        clamp(cal);
    }
}

void advancePlus(Calibration& cal) {
    clamp(cal);
    for (int i = 0; i < 10; ++i) {
        ++cal[at(Advance1, i)];
        clamp(cal);
    }
}

void injectionMinus(Calibration& cal) {
    for (int cell = 0; cell < 100; ++cell) lowerCell(cal[at(JET0_0, cell)]);
}

void injectionPlus(Calibration& cal) {
    for (int cell = 0; cell < 100; ++cell) raiseCell(cal[at(JET0_0, cell)]);
}

void columnMinus(Calibration& cal, int column) {
    if (column < 0 || column > 9) return;
    for (int row = 0; row < 10; ++row) lowerCell(cal[jetCell(row, column)]);
}

void columnPlus(Calibration& cal, int column) {
    if (column < 0 || column > 9) return;
    for (int row = 0; row < 10; ++row) raiseCell(cal[jetCell(row, column)]);
}

bool setTps0(Calibration& cal, std::uint16_t tpsVoltage) {
    if (tpsVoltage < 300 || tpsVoltage > 2500) return false;
    cal[TPS_0] = static_cast<std::uint8_t>(tpsVoltage / 10);
    return true;
}

bool setTps100(Calibration& cal, std::uint16_t tpsVoltage) {
    if (tpsVoltage < 2500 || tpsVoltage > 4600) return false;
    cal[TPS_100] = static_cast<std::uint8_t>(tpsVoltage / 10 - 250);
    return true;
}

} // namespace velmora
