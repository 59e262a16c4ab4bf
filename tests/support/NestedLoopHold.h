#pragma once

#include <functional>

namespace fiscora::test {

// What the seams' doubles do while a box or dialog is "open": like the real ones, they run a
// nested event loop before answering. By default it runs what is already due (posted events,
// ready sockets, timers that have fired) and ends; with holdUntil it goes on until the condition
// holds and 100 ms more (or 20 s).
class NestedLoopHold {
public:
    void holdUntil(std::function<bool()> condition) { m_condition = std::move(condition); }
    // True while a double's loop runs.
    bool open() const { return m_open > 0; }

protected:
    void runLoop();

private:
    std::function<bool()> m_condition;
    int m_open = 0;
};

} // namespace fiscora::test
