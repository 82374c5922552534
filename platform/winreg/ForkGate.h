// A background thread of the store holds its gate whenever it runs and lets go only while it
// sleeps; fork() closes every gate first. The child is then never a copy taken while such a
// thread was half-way through an allocation or a SQLite call: the allocator's or SQLite's lock
// that thread held would stay taken in the child, where no thread is left to release it (an
// allocator without fork handlers, AddressSanitizer's among them, hung children so).
//
// The gate itself is two words and futexes, no mutex: a fork() made while a thread passed a
// mutex of the gate would leave that mutex taken in the child.
#pragma once

#include <atomic>
#include <cstdint>

namespace zelreg {

class ForkGate {
public:
    // Taken for the thread by whoever starts it, before it starts, so that it runs inside the
    // gate from its first step, its own start-up included. False while a fork() is under way:
    // the caller may hold locks the fork waits for, so it must not wait, and starts the thread
    // after the fork instead.
    bool EnterToStart();
    // The thread itself, when it wakes.
    void Enter();
    // Before the thread sleeps, and for good when it ends.
    void Leave();

    // fork(): waits until the thread sleeps, and keeps it from waking into work until Open.
    void Close();
    // After fork(), in the parent; in the child no thread holds the gate.
    void Open();
    void OpenInChild();

private:
    // Each side marks itself before it looks at the other's word, so that of a thread entering
    // and a fork closing at once, at least one sees the other.
    std::atomic<uint32_t> busy_{0};
    std::atomic<uint32_t> closed_{0};  // forks under way: threads of a process may fork at once
};

}  // namespace zelreg
