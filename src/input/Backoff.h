#pragma once
#include <algorithm>

// Waits between connection attempts: the first short, each next one twice
// as long up to a ceiling, short again after a good connection.
class Backoff {
public:
    Backoff(int firstMs = 250, int lastMs = 8000) : first_(firstMs), last_(std::max(firstMs, lastMs)), next_(firstMs) {}
    // The wait before the next attempt; the one after is longer.
    int next() {
        const int w = next_;
        next_ = std::min(next_ * 2, last_);
        return w;
    }
    void reset() { next_ = first_; }

private:
    int first_, last_, next_;
};
