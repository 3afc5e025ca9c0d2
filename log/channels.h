// The channels of the data log: one table of what a record holds, named and scaled the way
// the field's common log viewers expect, and the builder that fills a record from each
// decoded monitor frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/frame.h"
#include "link/monitor.h"

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

// Holds the latest value of every channel, as the Monitor page does: a frame of one kind
// updates the common part and its own channels, the others keep their last value.
class RecordBuilder {
public:
    // After the decoder accepted `frame` and left `values`; timeMs is the time of the log.
    void update(const Frame& frame, const MonitorValues& values, std::uint8_t advanceMax,
                std::uint32_t timeMs);
    const Record& record() const { return r_; }
    // Whether each kind with channels of its own (0, 1 and 2) has arrived since the builder
    // began or forgot them; before that some channel holds nothing the unit sent.
    bool complete() const { return kindsSeen_ == 0x7; }
    // The values stay, but new frames of every kind are needed before the record is complete
    // again (a new connection, or a replay that fed the decoder).
    void forgetKinds() { kindsSeen_ = 0; }

private:
    Record r_{};
    std::uint8_t kindsSeen_ = 0;
};

} // namespace velmora::log
