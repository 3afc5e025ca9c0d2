// The channels of the data log: one table of what a record holds, named and scaled the way
// the field's common log viewers expect, and a record filled from an engine sample.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/engine_sample.h"

namespace velmora::log {

// Stored types of the MLG format.
enum class FieldType : std::uint8_t {
    U08 = 0,
    S08 = 1,
    U16 = 2,
    S16 = 3,
    U32 = 4,
    S32 = 5,
    F32 = 7 // IEEE single, big-endian; NaN where there is no value
};
// Display styles of the MLG format used here.
enum class DisplayStyle : std::uint8_t { Float = 0, OnOff = 4, YesNo = 5 };

struct Channel {
    const char* name;
    const char* units;
    FieldType type;
    float scale; // shown value = stored value x scale
    int digits;  // decimals shown
    DisplayStyle style;
};

enum ChannelId : std::size_t {
    Time,
    Rpm,
    Tps,
    TpsMv,
    Map,
    MapMv,
    Lambda,
    InjectionTime,
    Baro,
    Clt,
    CltFault,
    Iat,
    IatFault,
    BattV,
    Advance,
    PriveraPosition,
    PriveraMeasurement,
    Programmings,
    Blocking,
    ClutchMaster,
    StartLimiter,
    TachoInput,
    N2o,
    RpmWarning,
    RpmAlarm,
    PriveraNormal,
    FrameKind,
    // The wide-band controller's reading joined to the frame. Lambda, AFR and the age are NaN
    // where there was no reading, never 0; the status is a WidebandState.
    WbLambda,
    Afr,
    WbStatus,
    WbAge,
    ChannelCount
};

const std::array<Channel, ChannelCount>& channels();
// The numbers of "WB status" in words, for the log's info text.
extern const char* const WidebandStatusLegend;
std::size_t storedSize(FieldType t);
// Bytes of one record in the MLG data block, without the block's header and check byte.
std::size_t recordSize();

// Stored (unscaled) values, one per channel: whole numbers for the integer types, the value
// itself (NaN for none) for F32. A double holds every 32-bit integer exactly.
using Record = std::array<double, ChannelCount>;

// The record of a sample at log time timeMs.
Record recordOf(const EngineSample& sample, std::uint32_t timeMs);

} // namespace velmora::log
