#pragma once

#include <functional>
#include <sys/types.h>

// A child that runs a job and then waits until it is ended: the process
// to kill and the one to wait for (the same but for a child that is the
// first process of a pid namespace of its own, whose parent outside waits
// for it); {-1, -1} when it could not start.
struct HeldChild {
    pid_t kill = -1;
    pid_t reap = -1;
};

// Runs fn in a child that then waits until ended (endHeld); fn may wait
// there itself, in the middle of its job, by calling the function it gets.
// With firstOfItsOwn, the child runs as the first process (pid 1) of a pid
// namespace of its own, as a program in a container does.
HeldChild heldChild(const std::function<void(const std::function<void()>&)>& fn, bool firstOfItsOwn);
// Ends the child and waits for it.
void endHeld(const HeldChild& child);
