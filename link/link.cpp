#include "link/link.h"

#include "model/clamp.h"

#include <chrono>

namespace velmora {

Link::Link(Calibration& cal, Identification& ident, Image& image, const std::uint8_t& language)
    : cal_(cal), ident_(ident), image_(image), exchange_(*this, image, language) {}

void Link::sendFrame(const Frame& frame) {
    if (replaying_) {
        endReplay();
        if (onReplayEnded) onReplayEnded();
    }
    if (port_ != nullptr && port_->isOpen()) port_->writeFrame(frame);
    if (onSent) onSent(frame);
}

void Link::refreshFromImage() {
    unpack(image_, cal_, ident_);
    clamp(cal_);
    if (onShow) onShow();
    pack(cal_, image_);
}

void Link::showIdentification() {
    ident_ = rebuildIdentification(image_);
    if (onShow) onShow();
}

void Link::clearFileName() {
    if (onFileNameCleared) onFileNameCleared();
}

std::uint64_t Link::nowMs() const {
    return clockMs
               ? clockMs()
               : static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now().time_since_epoch())
                                                .count());
}

void Link::tick() {
    exchange_.tick();
    if (exchange_.view().noConnectionVisible && nowMs() - lastSampleMs_ >= NoConnectionMs)
        builder_.forgetKinds();
}

void Link::receive() {
    if (port_ == nullptr) return;
    const std::uint64_t now = nowMs();
    if (velmora::receive(*port_, framer_) > 0) {
        lastBytesMs_ = now;
    } else if (now - lastBytesMs_ >= QuietMs) {
        framer_.lineQuiet();
    }
}

std::optional<Frame> Link::nextFrame() {
    return framer_.next();
}

bool Link::monitorFrame(const Frame& frame) {
    if (replaying_) return isMonitorCommand(frame[0]) && checkOk(frame);
    if (!decode(frame)) return false;
    publish(frame, false);
    return true;
}

bool Link::replayFrame(const Frame& frame) {
    if (!replaying_ || !decode(frame)) return false;
    publish(frame, true);
    return true;
}

void Link::publish(const Frame& frame, bool replayed) {
    const std::uint64_t now = nowMs();
    if (!replayed) lastSampleMs_ = now;
    EngineSample s = builder_.update(frame, monitor_.values(), cal_[AdvanceMax], now, replayed);
    for (SampleJoiner* j : joiners_) j->join(s);
    samples_.publish(s);
}

bool Link::decode(const Frame& frame) {
    MonitorSettings s;
    s.extMonitor = cal_[ExtMonitor] != 0;
    s.gasEnable = cal_[GasEnable] != 0;
    s.advanceMax = cal_[AdvanceMax];
    s.lambdaLeft = lambdaLeft;
    s.tpsLeft = tpsLeft;
    if (!monitor_.decode(frame, s)) return false;
    if (onMonitorChanged) onMonitorChanged();
    return true;
}

} // namespace velmora
