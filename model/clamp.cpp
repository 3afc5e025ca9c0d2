#include "clamp.h"

namespace velmora {

namespace {

void raiseTo(std::uint8_t& value, unsigned limit) {
    if (value < limit) value = static_cast<std::uint8_t>(limit);
}

void lowerTo(std::uint8_t& value, unsigned limit) {
    if (value > limit) value = static_cast<std::uint8_t>(limit);
}

void limit(std::uint8_t& value, unsigned low, unsigned high) {
    raiseTo(value, low);
    lowerTo(value, high);
}

// Point i lies within (i + 3) .. (i + 191) and the points rise strictly; the upper bounds
// rise by one per point, so pushing a point above its predecessor never passes 200.
void clampSpeedAxis(Calibration& cal, Param head) {
    for (int i = 0; i < 10; ++i) limit(cal[at(head, i)], i + 3, i + 191);
}

void riseStrictly(Calibration& cal, Param head) {
    for (int i = 1; i < 10; ++i) {
        const std::uint8_t previous = cal[at(head, i - 1)];
        if (cal[at(head, i)] <= previous)
            cal[at(head, i)] = static_cast<std::uint8_t>(previous + 1);
    }
}

} // namespace

void clamp(Calibration& cal) {
    // The advance points are bounded by AdvanceMax before AdvanceMax itself is limited, so an
    // AdvanceMax below 10 pulls them down to its own value. Its upper limit of 125 applies here
    // already: otherwise an advance above 125 could survive the clamp that lowers AdvanceMax.
    const unsigned advanceLimit = cal[AdvanceMax] < 125 ? cal[AdvanceMax] : 125;
    for (int i = 0; i < 10; ++i) {
        limit(cal[at(RpmAdv1, i)], i + 3, i + 191);
        lowerTo(cal[at(Advance1, i)], advanceLimit);
    }
    riseStrictly(cal, RpmAdv1);
    limit(cal[AdvanceMax], 10, 125);
    limit(cal[Omez1], 10, 250);
    limit(cal[Omez2], 10, 250);
    if (cal[Omez2] < cal[Omez1]) cal[Omez2] = cal[Omez1];
    lowerTo(cal[gcClutch], 100);
    limit(cal[PilotLight], 10, 250);
    lowerTo(cal[Gas1], 100);
    lowerTo(cal[Gas2], 100);
    if (cal[Gas2] < cal[Gas1]) cal[Gas1] = cal[Gas2];
    limit(cal[GasT], 1, 200);
    lowerTo(cal[GasD], 200);
    lowerTo(cal[Retard1], 25);
    lowerTo(cal[Retard2], 25);
    if (cal[Retard2] < cal[Retard1]) cal[Retard1] = cal[Retard2];
    limit(cal[RetardT], 1, 200);
    lowerTo(cal[RetardD], 200);
    clampSpeedAxis(cal, RPM_JET_0);
    riseStrictly(cal, RPM_JET_0);
    for (int cell = 0; cell < 100; ++cell) lowerTo(cal[at(JET0_0, cell)], 250);
    lowerTo(cal[TPS_0], 250);
    lowerTo(cal[TPS_100], 250);
    lowerTo(cal[START_JET], 50);
    clampSpeedAxis(cal, RPM_PRIV_0);
    riseStrictly(cal, RPM_PRIV_0);
}

} // namespace velmora
