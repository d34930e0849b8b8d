// ListenerList: observers told about changes, removable by the id they were added with.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// Main thread only. A listener may not add or remove listeners while it is told.
template <class... Args>
class ListenerList {
public:
    using Listener = std::function<void(Args...)>;

    // Returns the id to remove the listener with; an empty listener is not added (0).
    int32_t add(Listener listener)
    {
        if (!listener) return 0;
        listeners_.emplace_back(nextId_, std::move(listener));
        return nextId_++;
    }
    void remove(int32_t id)
    {
        listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                        [id](const auto& entry) { return entry.first == id; }),
                         listeners_.end());
    }
    // Tells every listener, in the order they were added.
    void notify(Args... args) const
    {
        for (const auto& entry : listeners_) entry.second(args...);
    }
    std::size_t size() const { return listeners_.size(); }

private:
    std::vector<std::pair<int32_t, Listener>> listeners_;
    int32_t nextId_ = 1;
};
