#pragma once
#include <mutex>
#include <utility>

// Hands the newest value from the board's thread to a thread of an output:
// a value not yet taken is replaced (the output only ever wants the newest),
// and the taker is woken only when no wake-up and no timed take is already
// on its way. The giver never waits beyond a swap under a lock.
template <typename T>
class NewestHandOff {
public:
    // Keeps `value` as the newest. True when the caller must wake the taker.
    bool put(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
        if (woken_ || timed_)
            return false;
        woken_ = true;
        return true;
    }
    // The newest value (an empty one when none waits), taken by the wake-up.
    T takeWoken() { return take(woken_); }
    // The newest value, taken by the timed take.
    T takeTimed() { return take(timed_); }
    // Whether a timed take comes soon: until it has, puts wake nobody.
    void setTimed(bool due) {
        std::lock_guard lock(mutex_);
        timed_ = due;
    }

private:
    T take(bool& flag) {
        std::lock_guard lock(mutex_);
        flag = false;
        T out{};
        std::swap(out, value_);
        return out;
    }

    std::mutex mutex_;
    T value_{};
    bool woken_ = false;  // a wake-up is on its way
    bool timed_ = false;  // a timed take is on its way
};
