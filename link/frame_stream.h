// The monitor frames the link has decoded, handed on to any number of listeners that come and
// go on their own. Frames a replay feeds through the decoder are marked as replayed; each
// listener decides whether it follows them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "link/frame.h"

namespace velmora {

class FrameStream {
public:
    using Listener = std::function<void(const Frame& frame, bool replayed)>;

    // Ends the listening when destroyed; safe whether or not the stream still exists.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&&) noexcept = default;
        Subscription& operator=(Subscription&& other) noexcept {
            if (this != &other) {
                reset();
                state_ = std::move(other.state_);
                id_ = other.id_;
            }
            return *this;
        }
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription() { reset(); }
        void reset();

    private:
        friend class FrameStream;
        Subscription(std::weak_ptr<std::vector<std::pair<std::uint64_t, Listener>>> state,
                     std::uint64_t id)
            : state_(std::move(state)), id_(id) {}
        std::weak_ptr<std::vector<std::pair<std::uint64_t, Listener>>> state_;
        std::uint64_t id_ = 0;
    };

    [[nodiscard]] Subscription subscribe(Listener listener);
    // Every listener present when the frame comes gets it once, in the order they subscribed;
    // one that leaves meanwhile gets nothing more.
    void publish(const Frame& frame, bool replayed) const;
    std::size_t listeners() const { return listeners_->size(); }

private:
    std::shared_ptr<std::vector<std::pair<std::uint64_t, Listener>>> listeners_ =
        std::make_shared<std::vector<std::pair<std::uint64_t, Listener>>>();
    std::uint64_t nextId_ = 1;
};

} // namespace velmora
