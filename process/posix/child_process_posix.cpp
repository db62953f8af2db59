#include "process/child_process.h"

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

#include "process/posix/spawn_posix.h"

struct ChildProcess::Impl {
    pid_t pid = 0;
    bool reaped = true; // nothing to reap; also true before the first start
    int status = 0;
    std::string stdoutPath, stderrPath;

    bool Poll()
    {
        if (reaped)
            return true;
        int st = 0;
        switch (TryReap(pid, &st)) {
        case ReapResult::Running:
            return false;
        case ReapResult::Reaped:
            Record(st);
            return true;
        case ReapResult::NotOurChild:
            break;
        }
        reaped = true; // someone else collected it; its pid is not ours any more
        status = -1;
        return true;
    }
    void Record(int st)
    {
        reaped = true;
        status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
    }
};

ChildProcess::ChildProcess() : FImpl(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess()
{
    Terminate();
}

bool ChildProcess::Start(const std::string& exe, const std::vector<std::string>& args)
{
    if (!FImpl->Poll())
        return false;
    std::vector<std::string> argv{exe};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = SpawnChild(exe, argv, {FImpl->stdoutPath, FImpl->stderrPath});
    if (pid < 0)
        return false;
    FImpl->pid = pid;
    FImpl->reaped = false;
    FImpl->status = 0;
    return true;
}

std::optional<int> ChildProcess::Wait(int ms)
{
    if (FImpl->pid == 0)
        return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    while (!FImpl->Poll()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return FImpl->status;
}

void ChildProcess::Terminate()
{
    if (FImpl->Poll())
        return;
    // Not reaped yet, so the pid is still this child's.
    ::kill(FImpl->pid, SIGKILL);
    int st = 0;
    if (ReapBlocking(FImpl->pid, &st))
        FImpl->Record(st);
    else
        FImpl->reaped = true; // not ours to reap any more
}

bool ChildProcess::Running()
{
    return FImpl->pid != 0 && !FImpl->Poll();
}

long ChildProcess::Id() const
{
    return FImpl->pid;
}

void ChildProcess::SetOutputFiles(std::string stdoutPath, std::string stderrPath)
{
    FImpl->stdoutPath = std::move(stdoutPath);
    FImpl->stderrPath = std::move(stderrPath);
}

bool ChildProcess::RequestStop()
{
    // While it is unreaped the pid cannot have been reused by another process.
    return !FImpl->Poll() && ::kill(FImpl->pid, SIGTERM) == 0;
}
