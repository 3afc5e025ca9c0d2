// The channels of the data log: one table of what a record holds, named and scaled the way
// the field's common log viewers expect, and a record filled from an engine sample.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/engine_sample.h"

namespace velmora::log {

// Stored types of the MLG format.
enum class FieldType : std::uint8_t { U08 = 0, S08 = 1, U16 = 2, S16 = 3, U32 = 4, S32 = 5 };
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
    ChannelCount
};

const std::array<Channel, ChannelCount>& channels();
std::size_t storedSize(FieldType t);
// Bytes of one record in the MLG data block, without the block's header and check byte.
std::size_t recordSize();

// Stored (unscaled) values, one per channel.
using Record = std::array<std::int64_t, ChannelCount>;

// The record of a sample at log time timeMs.
Record recordOf(const EngineSample& sample, std::uint32_t timeMs);

} // namespace velmora::log
