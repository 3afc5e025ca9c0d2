#include "log/replay_wideband.h"

#include <algorithm>

namespace velmora::log {

namespace {
// Log times may be negative (bytes kept from before the start); the join's clock is unsigned.
constexpr std::int64_t Origin = std::int64_t{1} << 32;
std::uint64_t joinTime(std::int64_t logMs) {
    return static_cast<std::uint64_t>(logMs + Origin);
}
// How far before a seek the parser starts: enough lines or frames before it to be in step with
// the stream (a silence of a few seconds included) and the join's look-back.
constexpr std::int64_t SeekLeadMs = 5000;
} // namespace

void ReplayWideband::load(std::vector<WidebandEntry> entries, std::vector<ContextEntry> contexts) {
    entries_ = std::move(entries);
    contexts_ = std::move(contexts);
    // A context without a protocol takes the next one that names it: the context is noted at
    // the samples, so the first bytes of a controller may come just before it.
    for (std::size_t i = contexts_.size(); i-- > 1;) {
        ContextEntry& earlier = contexts_[i - 1];
        if (!earlier.context.widebandProtocol && contexts_[i].context.widebandProtocol) {
            earlier.context.widebandProtocol = contexts_[i].context.widebandProtocol;
            earlier.context.stoichAfr = contexts_[i].context.stoichAfr;
        }
    }
    controller_ = !entries_.empty() ||
                  std::any_of(contexts_.begin(), contexts_.end(),
                              [](const auto& c) { return c.context.widebandProtocol.has_value(); });
    join_.setConnected(controller_);
    restart();
    next_ = 0;
}

void ReplayWideband::loadFor(const std::string& mlgPath) {
    WidebandLogResult bytes = readWidebandLogFile(widebandLogPathFor(mlgPath));
    ContextReadResult context = readContextFile(contextPathFor(mlgPath));
    load(std::move(bytes.entries), std::move(context.entries));
}

void ReplayWideband::restart() {
    parser_.reset();
    parsing_ = nullptr;
    join_.clear();
    frameTime_ = 0;
}

const ContextEntry* ReplayWideband::contextFor(std::int32_t timeMs) const {
    const ContextEntry* in = nullptr;
    for (const ContextEntry& c : contexts_) {
        if (in != nullptr && static_cast<std::int64_t>(c.timeMs) > timeMs) break;
        in = &c;
    }
    return in != nullptr && in->context.widebandProtocol ? in : nullptr;
}

void ReplayWideband::beforeFrame(std::size_t index, std::uint32_t timeMs) {
    for (; next_ < entries_.size() && entries_[next_].framesBefore <= index; ++next_) {
        const WidebandEntry& e = entries_[next_];
        const ContextEntry* c = contextFor(e.timeMs);
        if (c == nullptr) continue;
        if (parser_ == nullptr ||
            parsing_->context.widebandProtocol != c->context.widebandProtocol ||
            parsing_->context.stoichAfr != c->context.stoichAfr) {
            parser_ = std::make_unique<WidebandParser>(*c->context.widebandProtocol,
                                                       c->context.stoichAfr);
            join_.setStoichAfr(c->context.stoichAfr);
        }
        parsing_ = c;
        readings_.clear();
        parser_->feed(e.bytes.data(), e.bytes.size(), joinTime(e.timeMs), readings_);
        for (const WidebandReading& r : readings_) join_.add(r);
    }
    frameTime_ = joinTime(timeMs);
}

void ReplayWideband::seek(std::uint32_t timeMs) {
    restart();
    const std::int64_t from = static_cast<std::int64_t>(timeMs) - SeekLeadMs;
    next_ = static_cast<std::size_t>(
        std::find_if(entries_.begin(), entries_.end(),
                     [&](const WidebandEntry& e) { return e.timeMs >= from; }) -
        entries_.begin());
}

void ReplayWideband::join(EngineSample& sample) {
    if (!sample.replayed) return;
    const std::uint64_t arrival = sample.timeMs;
    sample.timeMs = frameTime_;
    join_.join(sample);
    sample.timeMs = arrival;
}

} // namespace velmora::log
