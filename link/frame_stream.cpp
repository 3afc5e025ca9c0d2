#include "link/frame_stream.h"

#include <algorithm>

namespace velmora {

void FrameStream::Subscription::reset() {
    if (auto listeners = state_.lock()) {
        const auto at = std::find_if(listeners->begin(), listeners->end(),
                                     [this](const auto& l) { return l.first == id_; });
        if (at != listeners->end()) listeners->erase(at);
    }
    state_.reset();
}

FrameStream::Subscription FrameStream::subscribe(Listener listener) {
    const std::uint64_t id = nextId_++;
    listeners_->emplace_back(id, std::move(listener));
    return Subscription(listeners_, id);
}

void FrameStream::publish(const Frame& frame, bool replayed) const {
    // Listeners may subscribe or leave from inside a call: go by the ids present now.
    std::vector<std::uint64_t> ids;
    ids.reserve(listeners_->size());
    for (const auto& l : *listeners_) ids.push_back(l.first);
    for (const std::uint64_t id : ids) {
        const auto at = std::find_if(listeners_->begin(), listeners_->end(),
                                     [id](const auto& l) { return l.first == id; });
        if (at == listeners_->end()) continue;
        const Listener listener = at->second; // a copy: the listener may end its subscription
        listener(frame, replayed);
    }
}

} // namespace velmora
