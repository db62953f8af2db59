#pragma once
// Starting and reaping child programs without a shell.
#include <string>
#include <sys/types.h>
#include <vector>

struct SpawnOptions {
    // When not empty, these receive the child's two output streams.
    std::string stdoutPath, stderrPath;
    // The child leads a process group of its own, whose id is its pid, so
    // that whatever it starts in turn can be signalled with it.
    bool ownProcessGroup = false;
};

// Starts exe with argv (argv[0] included): no shell, only the standard
// descriptors inherited, signals unblocked and the usual ones at their
// default action (ignoring SIGPIPE is this program's choice, not the
// child's). -1 when it cannot be started.
pid_t SpawnChild(const std::string& exe, const std::vector<std::string>& argv, const SpawnOptions& options = {});

enum class ReapResult { Reaped, Running, NotOurChild };

// Reaps the child if it has ended, storing its wait status.
ReapResult TryReap(pid_t pid, int* status);

// Reaps the child, waiting for as long as it takes.
bool ReapBlocking(pid_t pid, int* status);

// Hands a child still running to a reaper that collects it once it ends,
// so that it never stays a zombie. Its pid stays reserved until then.
void ReapWhenEnded(pid_t pid);

// Puts SIGCHLD back to its default action. Inherited as ignored, it would
// have the kernel reap every child at once, so a child's process id could
// pass to another process while it is still held to be ended. Called once at
// start-up, before any thread or child is started.
void KeepChildrenUntilReaped();
