// Events handed on to any number of listeners that come and go on their own: engine samples,
// the exchange's events. Everything runs on one thread; a listener may subscribe or leave from
// inside a call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velmora {

// Ends the listening when destroyed or reset; safe whether or not the stream still exists.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> leave) : leave_(std::move(leave)) {}
    Subscription(Subscription&& other) noexcept : leave_(std::exchange(other.leave_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            leave_ = std::exchange(other.leave_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }
    void reset() {
        if (leave_) std::exchange(leave_, {})();
    }

private:
    std::function<void()> leave_;
};

template <typename... Args> class Stream {
public:
    using Listener = std::function<void(const Args&...)>;

    [[nodiscard]] Subscription subscribe(Listener listener) {
        const std::uint64_t id = nextId_++;
        listeners_->emplace_back(id, std::move(listener));
        return Subscription([weak = std::weak_ptr<List>(listeners_), id] {
            if (const auto list = weak.lock()) {
                const auto at = std::find_if(list->begin(), list->end(),
                                             [id](const auto& l) { return l.first == id; });
                if (at != list->end()) list->erase(at);
            }
        });
    }

    // Every listener present when the event comes gets it once, in the order they subscribed;
    // one that leaves meanwhile gets nothing more.
    void publish(const Args&... args) const {
        std::vector<std::uint64_t> ids;
        ids.reserve(listeners_->size());
        for (const auto& l : *listeners_) ids.push_back(l.first);
        for (const std::uint64_t id : ids) {
            const auto at = std::find_if(listeners_->begin(), listeners_->end(),
                                         [id](const auto& l) { return l.first == id; });
            if (at == listeners_->end()) continue;
            const Listener listener = at->second; // a copy: the listener may leave
            listener(args...);
        }
    }

    std::size_t listeners() const { return listeners_->size(); }

private:
    using List = std::vector<std::pair<std::uint64_t, Listener>>;
    std::shared_ptr<List> listeners_ = std::make_shared<List>();
    std::uint64_t nextId_ = 1;
};

} // namespace velmora
