// Waiting until the user interrupts the program (Ctrl+C, or SIGTERM / a console close), for
// verbs that run until then.
#pragma once

namespace zelregtool {

class Interrupt {
public:
    // Takes the interruption over from the default (which would end the process at once);
    // made before any thread starts, so that every thread leaves it to Wait.
    Interrupt();
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    // Returns once the user has interrupted.
    void Wait();
};

}  // namespace zelregtool
