#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include "common/file_io.h"
#include "process/child_process.h"
#include "process/command_line.h"
#include "process/epgdatacapbon_manager.h"
#include "process/posix/spawn_posix.h"
#include "support/cli_server.h"
#include "support/server_fixture.h"
#include "support/standin.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"
#include "support/viewer_client.h"

namespace {

// True once the process is gone from the process table: ended and reaped,
// not a zombie.
bool Reaped(long pid)
{
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

std::string SleeperCopy(const TempDir& dir, const std::string& name)
{
    const std::string path = dir.File(name);
    std::filesystem::copy_file(ToolPath("vernwick-sleeper"), path);
    return path;
}

} // namespace

TEST(ProcessPosix, NoZombieIsLeftBehind)
{
    TempDir dir;
    const std::string path = SleeperCopy(dir, "reaped-standin");
    long pid = 0;
    {
        ChildProcess child;
        ASSERT_TRUE(child.Start(path, {}));
        pid = child.Id();
        EXPECT_FALSE(Reaped(pid));
    }
    EXPECT_TRUE(Reaped(pid)) << "the destructor ends and reaps its child";

    CEpgDataCapBonManager manager(path, "--exit-when " + QuoteArgument(dir.File("end")), "", [] { return false; });
    ASSERT_TRUE(manager.LaunchIfNotRunning());
    pid = manager.LaunchedProcessId();
    manager.Close(true);
    EXPECT_TRUE(Reaped(pid));

    // Let go while running: collected once it ends on its own.
    ASSERT_TRUE(manager.LaunchIfNotRunning());
    pid = manager.LaunchedProcessId();
    manager.Close(false);
    EXPECT_FALSE(Reaped(pid));
    ASSERT_TRUE(ReplaceFileAtomically(dir.File("end"), ""));
    EXPECT_TRUE(WaitFor([&] { return Reaped(pid); }, 10000));

    // Ended by the user while held (at once, the end file being there): a
    // zombie does not count as running, and the next launch collects it.
    ASSERT_TRUE(manager.LaunchIfNotRunning());
    pid = manager.LaunchedProcessId();
    EXPECT_TRUE(WaitFor([&] { return !manager.FindRunningProcess(); }, 10000));
    EXPECT_FALSE(Reaped(pid)) << "kept as a zombie so that its pid stays reserved";
    std::filesystem::remove(dir.File("end"));
    ASSERT_TRUE(manager.LaunchIfNotRunning());
    EXPECT_TRUE(Reaped(pid));
    manager.Close(true);
}

TEST(ProcessPosix, ChildrenStartCleanAndStayUnreapedWhateverThisProgramInheritedOrChose)
{
    // SIGCHLD ignored by whoever started us is put back at start-up, so that
    // an ended child waits to be reaped and reports its own exit status. This
    // program's own choices must not reach the child: a blocked SIGTERM would
    // keep it from quitting, an inherited descriptor would keep a file or
    // socket of ours open.
    TempDir dir;
    const std::string path = SleeperCopy(dir, "clean-standin");
    struct sigaction ignore {}, oldAction {};
    ignore.sa_handler = SIG_IGN;
    sigset_t term, oldMask;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(sigaction(SIGCHLD, &ignore, &oldAction), 0);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &oldMask), 0);
    KeepChildrenUntilReaped();
    const int fd = ::open(dir.File("held").c_str(), O_WRONLY | O_CREAT, 0600); // no close-on-exec

    ChildProcess child;
    const bool started = child.Start(path, {"--exit-after-ms", "10", "--exit-code", "7"});
    const auto status = child.Wait(10000);
    CEpgDataCapBonManager manager(path, "--quit-file " + QuoteArgument(dir.File("quit")), "", [] { return false; });
    const bool launched = manager.LaunchIfNotRunning();
    const std::string inheritedFd = "/proc/" + std::to_string(manager.LaunchedProcessId()) + "/fd/" + std::to_string(fd);
    const bool inherited = launched && std::filesystem::exists(inheritedFd);
    manager.Close(true);
    ::close(fd);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGCHLD, &oldAction, nullptr);

    ASSERT_TRUE(started && launched && fd >= 0);
    EXPECT_EQ(status, std::optional<int>(7));
    EXPECT_FALSE(inherited);
    EXPECT_EQ(ReadWholeFile(dir.File("quit")), std::optional<std::string>("quit\n"));
}

TEST(ProcessPosix, AnotherUsersCopyDoesNotCountAsRunning)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can start a process as another user";
    TempDir dir;
    const std::string path = SleeperCopy(dir, "other-" + dir.Path().filename().string());
    ChildProcess other;
    ASSERT_TRUE(other.Start("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--", path,
                                                 "--exit-after-ms", "60000"}));
    const std::string exe = "/proc/" + std::to_string(other.Id()) + "/exe";
    ASSERT_TRUE(WaitFor([&] {
        std::error_code error;
        return std::filesystem::read_symlink(exe, error) == path;
    }, 10000));
    CEpgDataCapBonManager manager(path, "", "", [] { return false; });
    manager.SetQuitTimeoutMs(2000);
    EXPECT_FALSE(manager.FindRunningProcess());
    EXPECT_TRUE(manager.LaunchIfNotRunning());
    manager.Close(true);
    EXPECT_TRUE(other.Running());
}

TEST(ProcessPosix, ServeStopsOnAHangUpAndEndsAtOnceOnASecondStopSignal)
{
    // The stop's re-selection meets an upstream that takes 12 s: a hang-up
    // stops as SIGTERM does, and a second SIGINT or SIGTERM while stopping
    // ends the program at once.
    for (const int second : {0, SIGINT, SIGTERM}) {
        StandIn standin;
        ASSERT_TRUE(standin.Start({"--delay", "GetBonList=12000", "--fault-at", "5"}));
        CliServer server;
        ConfigureChannels(server, standin.Port());
        ASSERT_TRUE(server.Start()) << server.Errors();
        ViewerClient viewer;
        ASSERT_TRUE(viewer.Connect(server.Port()));
        ASSERT_EQ(viewer.Ask("GetBonList"), "0\t0\t0\tTVTest");
        ASSERT_EQ(kill(static_cast<pid_t>(server.Id()), second ? SIGTERM : SIGHUP), 0);
        if (second) {
            ASSERT_TRUE(WaitFor([&] { return standin.Requests().size() == 5; }, 10000));
            ASSERT_EQ(kill(static_cast<pid_t>(server.Id()), second), 0);
        }
        EXPECT_EQ(server.WaitForExit(5000), std::optional<int>(second ? 128 + second : 0)) << second;
    }
}
