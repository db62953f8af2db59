// Takes a named lock, says so through a file, holds it for a while (or until
// killed) and gives it back: a second process for the lock tests.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/file_io.h"
#include "net/event.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vernwick-lockholder NAME READY-FILE HOLD-MS (-1 holds until killed)\n");
        return 2;
    }
    event_object lock(argv[1], true);
    if (lock.Wait(WaitInfinite) != WaitObject0)
        return 1;
    if (!ReplaceFileAtomically(argv[2], "held\n"))
        return 1;
    const long hold = std::strtol(argv[3], nullptr, 10);
    if (hold < 0) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(hold));
    lock.Signal();
    return 0;
}
