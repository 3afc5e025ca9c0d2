// The unit link as the window uses it: a port, the exchange and the monitor decoder, wired to
// the working parameters, the image and the identification texts the window owns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "link/engine_sample.h"
#include "link/exchange.h"
#include "link/framer.h"
#include "link/monitor.h"
#include "link/port.h"
#include "link/stream.h"
#include "model/calibration.h"

namespace velmora {

// A second source of readings (a wide-band lambda controller on a port of its own) joins them
// to the unit's samples here, each reading with its own arrival time, before they go out.
class SampleJoiner {
public:
    virtual ~SampleJoiner() = default;
    virtual void join(EngineSample& sample) = 0;
};

class Link : public ExchangeHost {
public:
    Link(Calibration& cal, Identification& ident, Image& image, const std::uint8_t& language);

    // The port frames go to and come from; nullptr (the default) when none is usable, in which
    // case sends and polls do nothing. Bytes held from another port are forgotten.
    void setPort(FramePort* port) {
        port_ = port;
        framer_.clear();
    }
    FramePort* port() const { return port_; }

    Exchange& exchange() { return exchange_; }
    const Exchange& exchange() const { return exchange_; }
    const MonitorDecoder& monitor() const { return monitor_; }

    // Timer1Timer. When "No Connection" shows and no frame came for as long as that takes, the
    // next unit's samples wait for every frame kind again.
    void tick();
    const Framer& framer() const { return framer_; }

    // The window's hooks, all optional.
    std::function<void()> onShow;             // show the working parameters and LabelVerze1..3
    std::function<void()> onFileNameCleared;  // empty LabelFile2
    std::function<void()> onMonitorChanged;   // a valid monitor frame changed monitor().view()
    std::function<void(const Frame&)> onSent; // every request, sent or not (no port), for a trace
    std::function<void()> onReplayEnded;      // an exchange ended the replay

    // Every monitor frame decoded, from the port or from a replay (marked so), once, as a
    // sample, after onMonitorChanged. Each subscriber comes and goes on its own.
    Stream<EngineSample>& samples() { return samples_; }
    const EngineSample& lastSample() const { return builder_.last(); }
    // Joined to every sample before it is published, in the order added; not owned.
    void addJoiner(SampleJoiner& joiner) { joiners_.push_back(&joiner); }
    void removeJoiner(SampleJoiner& joiner) {
        joiners_.erase(std::remove(joiners_.begin(), joiners_.end(), &joiner), joiners_.end());
    }

    // While a replay plays, monitor frames from the port are read and dropped (a valid one still
    // proves the connection) and replayFrame() feeds the decoder instead. The first request of
    // an exchange ends the replay before it is sent.
    // The decoder holds the other side's values at either end: every kind must come again.
    void startReplay() {
        replaying_ = true;
        builder_.forgetKinds();
    }
    void endReplay() {
        replaying_ = false;
        builder_.forgetKinds();
    }
    bool replaying() const { return replaying_; }
    bool replayFrame(const Frame& frame);

    // Milliseconds of a monotonic clock; the poll tells a quiet line by it. Tests that tick
    // faster than real time give their own.
    std::function<std::uint64_t()> clockMs;
    // Now on that clock (a steady clock when clockMs is unset); a second source stamps its
    // readings by it so that they join the samples.
    std::uint64_t nowMs() const;
    // No byte for this long: the line is quiet. The bytes of one frame are never this far
    // apart, even through a USB adapter.
    static constexpr std::uint64_t QuietMs = 30;
    // The timer's interval, and the time the exchange takes to show "No Connection".
    static constexpr std::uint64_t TickMs = 55;
    static constexpr std::uint64_t NoConnectionMs = (Exchange::NoMonitorLimit + 1) * TickMs;

    // Left edges of LabelLambda and LabelTps, where the bar graphs start.
    int lambdaLeft = 352;
    int tpsLeft = 24;

    // ExchangeHost
    void sendFrame(const Frame& frame) override;
    void refreshFromImage() override;
    void showIdentification() override;
    void clearFileName() override;
    void receive() override;
    std::optional<Frame> nextFrame() override;
    bool monitorFrame(const Frame& frame) override;

private:
    Calibration& cal_;
    Identification& ident_;
    Image& image_;
    FramePort* port_ = nullptr;
    Framer framer_;
    Stream<EngineSample> samples_;
    SampleBuilder builder_;
    std::vector<SampleJoiner*> joiners_;
    std::uint64_t lastBytesMs_ = 0, lastSampleMs_ = 0;
    MonitorDecoder monitor_;
    Exchange exchange_;
    bool replaying_ = false;

    bool decode(const Frame& frame);
    void publish(const Frame& frame, bool replayed);
};

} // namespace velmora
