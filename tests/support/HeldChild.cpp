#include "tests/support/HeldChild.h"

#include <csignal>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

HeldChild heldChild(const std::function<void(const std::function<void()>&)>& fn, bool firstOfItsOwn) {
    int ready[2], hold[2];
    if (::pipe(ready) != 0 || ::pipe(hold) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        ::close(hold[1]);
        if (firstOfItsOwn) {
            pid_t first = -1;
            if (::unshare(CLONE_NEWPID) != 0 || (first = ::fork()) < 0)
                ::_exit(77);
            if (first > 0) {
                // Tells the first one's id outside, and waits for it.
                ::write(ready[1], &first, sizeof first);
                ::close(ready[1]);
                int status = 0;
                ::waitpid(first, &status, 0);
                ::_exit(0);
            }
            if (::getpid() != 1)
                ::_exit(3);
        }
        const std::function<void()> waitHere = [&] {
            const char done = 1;
            ::write(ready[1], &done, 1);
            char wait;
            ::read(hold[0], &wait, 1); // until ended
            ::_exit(0);
        };
        fn(waitHere);
        waitHere();
    }
    ::close(ready[1]);
    ::close(hold[0]);
    HeldChild child{pid, pid};
    char done = 0;
    const bool started = (!firstOfItsOwn || ::read(ready[0], &child.kill, sizeof child.kill) == sizeof child.kill) &&
                         ::read(ready[0], &done, 1) == 1;
    ::close(ready[0]);
    // The hold pipe's writing end stays open here: the child waits on it.
    if (started)
        return child;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {};
}

void endHeld(const HeldChild& child) {
    ::kill(child.kill, SIGKILL);
    int status = 0;
    ::waitpid(child.reap, &status, 0); // a namespace's parent ends once its first process has
}
