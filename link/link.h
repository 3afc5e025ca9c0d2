// The unit link as the window uses it: a port, the exchange and the monitor decoder, wired to
// the working parameters, the image and the identification texts the window owns.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "link/exchange.h"
#include "link/frame_stream.h"
#include "link/framer.h"
#include "link/monitor.h"
#include "link/port.h"
#include "model/calibration.h"

namespace velmora {

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

    // Timer1Timer.
    void tick() { exchange_.tick(); }
    const Framer& framer() const { return framer_; }

    // The window's hooks, all optional.
    std::function<void()> onShow;             // show the working parameters and LabelVerze1..3
    std::function<void()> onFileNameCleared;  // empty LabelFile2
    std::function<void()> onMonitorChanged;   // a valid monitor frame changed monitor().view()
    std::function<void(const Frame&)> onSent; // every request, sent or not (no port), for a trace
    std::function<void()> onReplayEnded;      // an exchange ended the replay

    // Every monitor frame decoded, from the port or from a replay, after onMonitorChanged.
    FrameStream& frames() { return frames_; }

    // While a replay plays, monitor frames from the port are read and dropped (a valid one still
    // proves the connection) and replayFrame() feeds the decoder instead. The first request of
    // an exchange ends the replay before it is sent.
    void startReplay() { replaying_ = true; }
    void endReplay() { replaying_ = false; }
    bool replaying() const { return replaying_; }
    bool replayFrame(const Frame& frame);

    // Milliseconds of a monotonic clock; the poll tells a quiet line by it. Tests that tick
    // faster than real time give their own.
    std::function<std::uint64_t()> clockMs;
    // No byte for this long: the line is quiet. The bytes of one frame are never this far
    // apart, even through a USB adapter.
    static constexpr std::uint64_t QuietMs = 30;

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
    FrameStream frames_;
    std::uint64_t lastBytesMs_ = 0;
    MonitorDecoder monitor_;
    Exchange exchange_;
    bool replaying_ = false;

    bool decode(const Frame& frame);
};

} // namespace velmora
