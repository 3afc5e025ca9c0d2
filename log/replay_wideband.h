// The wide-band side of a replay: the controller's recorded bytes go through a parser of the
// recorded protocol at their recorded times, and the readings are joined to the replayed
// samples by the same rule as on the ride, against the log time of each frame. The bytes that
// came before a frame on the ride come before it here, so each sample gets the reading it got
// then. Live samples are left to the live controller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/wideband.h"
#include "link/wideband_join.h"
#include "log/log_context.h"
#include "log/wideband_log.h"

namespace velmora::log {

class ReplayWideband : public SampleJoiner {
public:
    // Takes the bytes and context entries of a log; without either, replayed samples say
    // that no controller was connected.
    void load(std::vector<WidebandEntry> entries, std::vector<ContextEntry> contexts);
    // Reads <base>.wideband and <base>.context of an MLG log; missing files mean no controller.
    void loadFor(const std::string& mlgPath);
    void clear() { load({}, {}); }

    // Before frame `index` of the frame log (at log time timeMs) is replayed.
    void beforeFrame(std::size_t index, std::uint32_t timeMs);
    // The replay jumped to log time timeMs: the parser starts over a second earlier, so it is
    // in step again by then.
    void seek(std::uint32_t timeMs);

    void join(EngineSample& sample) override;

    bool controller() const { return controller_; }
    std::size_t entries() const { return entries_.size(); }

private:
    // The protocol and ratio the bytes of entry `i` were sent with.
    const ContextEntry* contextFor(std::int32_t timeMs) const;
    void restart();

    std::vector<WidebandEntry> entries_;
    std::vector<ContextEntry> contexts_;
    std::size_t next_ = 0;                  // first entry not yet parsed
    const ContextEntry* parsing_ = nullptr; // the context the parser was made for
    std::unique_ptr<WidebandParser> parser_;
    WidebandJoin join_;
    std::vector<WidebandReading> readings_;
    std::uint64_t frameTime_ = 0; // the current frame's log time, on the join's clock
    bool controller_ = false;
};

} // namespace velmora::log
