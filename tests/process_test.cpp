#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <thread>

#include "common/file_io.h"
#include "process/child_process.h"
#include "process/command_line.h"
#include "process/epgdatacapbon_manager.h"
#include "support/server_fixture.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

std::string UniqueStem(const std::string& prefix)
{
    static std::atomic<int> counter{0};
    std::random_device random;
    return prefix + std::to_string(random() % 1000000) + "n" + std::to_string(counter++);
}

// A copy of the sleeper under a file name of its own, so that no other test
// (or other running copy) has a process of that name; short enough to be a
// whole process command name (15 bytes). The window text is just as unique.
class Sleeper {
public:
    explicit Sleeper(const std::string& stem = UniqueStem("ed"))
        : FStem(stem), FWindowText("EpgDataCap_Bon " + stem)
    {
        const std::filesystem::path tool = ToolPath("vernwick-sleeper");
        FPath = FDir.File(stem + tool.extension().string());
        std::filesystem::copy_file(tool, FPath);
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    }
    const std::string& Path() const { return FPath; }
    const std::string& Stem() const { return FStem; }
    const std::string& WindowText() const { return FWindowText; }
    std::string File(const std::string& name) const { return FDir.File(name); }
    // The sleeper's parameters giving it the window and a quit record.
    std::string Params(const std::string& more = "") const
    {
        return "--window " + QuoteArgument(FWindowText) + " --quit-file " + QuoteArgument(File("quit")) +
               " --polite-file " + QuoteArgument(File("polite")) + " " + more;
    }
    bool QuitPolitely() const { return ReadWholeFile(File("quit")) == std::optional<std::string>("quit\n"); }
    // Whether a quit request can reach the started copy: always with
    // SIGTERM; on Windows only where it could create its window (Wine
    // without a display cannot), else it is ended by force at once.
    bool CanBeAskedToQuit() const
    {
        const std::optional<std::string> polite = ReadWholeFile(File("polite"));
        EXPECT_TRUE(polite.has_value()) << "written before the program finished starting up";
        return polite == std::optional<std::string>("yes\n");
    }

private:
    TempDir FDir;
    std::string FStem;
    std::string FWindowText;
    std::string FPath;
};

std::unique_ptr<CEpgDataCapBonManager> ManagerFor(const Sleeper& standIn, const std::string& params,
                                                  std::function<bool()> quitting = [] { return false; })
{
    auto manager =
        std::make_unique<CEpgDataCapBonManager>(standIn.Path(), params, standIn.WindowText(), std::move(quitting));
    manager->SetQuitTimeoutMs(5000);
    return manager;
}

} // namespace

TEST(CommandLine, SplitsAsTheWindowsRuntimeDoes)
{
    EXPECT_EQ(SplitArguments("a  b\tc "), (Strings{"a", "b", "c"}));
    EXPECT_EQ(SplitArguments("\"a b\" c\"d e\"f"), (Strings{"a b", "cd ef"}));
    // Backslashes count only before a quote.
    EXPECT_EQ(SplitArguments(R"(a\\b c\)"), (Strings{R"(a\\b)", R"(c\)"}));
    EXPECT_EQ(SplitArguments(R"(a\\"b c")"), (Strings{R"(a\b c)"}));
    EXPECT_EQ(SplitArguments(R"(a\\\"b c)"), (Strings{R"(a\"b)", "c"}));
    EXPECT_EQ(SplitArguments(R"(\" \\\\" x")"), (Strings{"\"", R"(\\ x)"}));
    // "" inside a group is a literal quote and the group goes on.
    EXPECT_EQ(SplitArguments(R"("a""b c" d)"), (Strings{"a\"b c", "d"}));
    EXPECT_EQ(SplitArguments(R"("" x "unclosed y)"), (Strings{"", "x", "unclosed y"}));
    EXPECT_TRUE(SplitArguments(" \t ").empty());

    // The program name keeps its backslashes, even one before the quote.
    EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\EDCB\" /min)"), (Strings{R"(C:\Program Files\EDCB\)", "/min"}));
    EXPECT_EQ(SplitCommandLine(R"(  C:\a\"b c"\x y)"), (Strings{R"(C:\a\b c\x)", "y"}));
    EXPECT_TRUE(SplitCommandLine("").empty());
}

TEST(CommandLine, LaunchLineAndItsArguments)
{
    EXPECT_EQ(LaunchCommandLine(R"(C:\EDCB\EpgDataCap_Bon.exe)", "/min"), R"("C:\EDCB\EpgDataCap_Bon.exe" /min)");
    // The blank stays even without parameters.
    EXPECT_EQ(LaunchCommandLine("/opt/edcb/EpgDataCap_Bon", ""), "\"/opt/edcb/EpgDataCap_Bon\" ");
    for (const std::string params : {"", "/min", R"(/min "a b" c\\"d e" "x""y")", "  \t"}) {
        for (const std::string path : {"/opt/e dcb/EpgDataCap_Bon", R"(C:\Program Files\EDCB\EpgDataCap_Bon.exe)"})
            EXPECT_EQ(LaunchArguments(path, params), SplitCommandLine(LaunchCommandLine(path, params))) << params;
    }
    EXPECT_EQ(LaunchArguments("/odd\"path", "x")[0], "/odd\"path");

    // Every argument, quoted and joined, splits back to itself.
    const Strings args{"", "plain", "two words", R"(trail\)", R"(tr ail\\)", "\"", R"(\")", R"(a\\"b)", "tab\there",
                       R"(C:\x y\)", "\"\""};
    std::string line;
    for (const std::string& arg : args)
        line += QuoteArgument(arg) + " ";
    EXPECT_EQ(SplitArguments(line), args);
    EXPECT_EQ(QuoteArgument("plain"), "plain");
}

TEST(CommandLine, FileNamesIgnoreAsciiCase)
{
    EXPECT_EQ(FileNamePart(R"(C:\EDCB\EpgDataCap_Bon.exe)"), "EpgDataCap_Bon.exe");
    EXPECT_EQ(FileNamePart("D:EpgDataCap_Bon.exe"), "EpgDataCap_Bon.exe");
    EXPECT_EQ(FileNamePart("EpgDataCap_Bon.exe"), "EpgDataCap_Bon.exe");
    EXPECT_EQ(FileNamePart(R"(C:\EDCB\)"), "");
    EXPECT_TRUE(SameFileNameIgnoringCase("EpgDataCap_Bon.EXE", "epgdatacap_BON.exe"));
    EXPECT_FALSE(SameFileNameIgnoringCase("EpgDataCap_Bon.exe", "EpgDataCap_Bon.ex"));
    EXPECT_FALSE(SameFileNameIgnoringCase("EpgDataCap_Bon.exe", "EpgDataCap-Bon.exe"));
    // Only ASCII letters fold: '[' and '{' are not the case pair of anything.
    EXPECT_FALSE(SameFileNameIgnoringCase("a[", "a{"));
}

TEST(ChildProcess, StartWaitTerminateAndExitCode)
{
    const std::string sleeper = ToolPath("vernwick-sleeper");
    TempDir dir;
    ChildProcess child;
    EXPECT_FALSE(child.Running());
    const Strings args{"--exit-after-ms", "50", "--exit-code", "7", "--args-file", dir.File("args"), "two words",
                       R"(back\slash\)", "quo\"te", ""};
    ASSERT_TRUE(child.Start(sleeper, args));
    EXPECT_GT(child.Id(), 0);
    EXPECT_EQ(child.Wait(10000), std::optional<int>(7));
    EXPECT_FALSE(child.Running());
    std::string expected;
    for (const std::string& arg : args)
        expected += arg + "\n";
    EXPECT_EQ(ReadWholeFile(dir.File("args")), std::optional<std::string>(expected));

    // A second start once the first has ended; this one runs until ended.
    ASSERT_TRUE(child.Start(sleeper, {}));
    EXPECT_TRUE(child.Running());
    EXPECT_FALSE(child.Start(sleeper, {})) << "a second child while the first runs";
    EXPECT_EQ(child.Wait(50), std::nullopt);
    const auto started = Clock::now();
    child.Terminate();
    EXPECT_LT(ElapsedMs(started), 5000);
    EXPECT_FALSE(child.Running());
    EXPECT_TRUE(child.Wait(0).has_value());

    ChildProcess missing;
    EXPECT_FALSE(missing.Start(dir.File("no-such-program"), {}));
    EXPECT_FALSE(missing.Running());
}

TEST(EpgDataCapBonManager, LaunchesOnceWithItsParametersSplitAndEndsItsCopyPolitely)
{
    Sleeper standIn;
    const std::string argsFile = standIn.File("args");
    auto manager = ManagerFor(standIn, standIn.Params("--args-file " + QuoteArgument(argsFile) +
                                                      R"( "two words" a\\"b c" "" x)"));
    EXPECT_FALSE(manager->FindRunningProcess());
    EXPECT_FALSE(manager->Launched());
    ASSERT_TRUE(manager->LaunchIfNotRunning());
    EXPECT_TRUE(manager->Launched());
    EXPECT_TRUE(manager->FindRunningProcess());
    const long pid = manager->LaunchedProcessId();
    EXPECT_GT(pid, 0);
    const bool polite = standIn.CanBeAskedToQuit();
    // The file is written before the program finishes starting up.
    EXPECT_EQ(ReadWholeFile(argsFile),
              "--window\n" + standIn.WindowText() + "\n--quit-file\n" + standIn.File("quit") + "\n--polite-file\n" +
                  standIn.File("polite") + "\n--args-file\n" + argsFile + "\ntwo words\na\\b c\n\nx\n");

    // Running: nothing more is started and the held copy stays the same.
    EXPECT_FALSE(manager->LaunchIfNotRunning());
    EXPECT_TRUE(manager->Launched());
    EXPECT_EQ(manager->LaunchedProcessId(), pid);

    const auto started = Clock::now();
    manager->Close(true);
    EXPECT_LT(ElapsedMs(started), 4000) << "ended without waiting for the time-out";
    EXPECT_EQ(standIn.QuitPolitely(), polite);
    EXPECT_FALSE(manager->Launched());
    EXPECT_EQ(manager->LaunchedProcessId(), 0);
    EXPECT_FALSE(manager->FindRunningProcess());
    manager->Close(true); // nothing held: nothing done
}

TEST(EpgDataCapBonManager, EndsByForceAfterTheQuitTimeOut)
{
    Sleeper standIn;
    auto manager = ManagerFor(standIn, standIn.Params("--ignore-term"));
    manager->SetQuitTimeoutMs(300);
    ASSERT_TRUE(manager->LaunchIfNotRunning());
    const bool polite = standIn.CanBeAskedToQuit();
    const auto started = Clock::now();
    manager->Close(true);
    const long elapsed = ElapsedMs(started);
    if (polite)
        EXPECT_GE(elapsed, 250) << "asked to quit, so given the time-out";
    EXPECT_LT(elapsed, 4000);
    EXPECT_FALSE(standIn.QuitPolitely());
    EXPECT_FALSE(manager->FindRunningProcess());

    // The destructor ends a copy still held.
    {
        auto scoped = ManagerFor(standIn, standIn.Params("--ignore-term"));
        scoped->SetQuitTimeoutMs(100);
        ASSERT_TRUE(scoped->LaunchIfNotRunning());
    }
    EXPECT_FALSE(manager->FindRunningProcess());
}

TEST(EpgDataCapBonManager, HoldsAndEndsAllThatItsLauncherStarted)
{
    // The configured program only starts the real one, which stays running:
    // it exits at once (a launcher that forks) or stays beside it, with a
    // window of the same text (a wrapper). What the manager holds, asks to
    // quit and ends is everything it started. Each real program ends by
    // itself within a minute, should the manager fail to end it.
    struct Row {
        bool launcherStays;
        std::string program;
        bool endProcess;
    };
    const Row rows[] = {
        {false, "--exit-after-ms 60000", true},
        {true, "--exit-after-ms 60000", true},
        {false, "--exit-after-ms 60000 --ignore-term", true},
        {false, "--exit-after-ms 4000", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.program + (row.launcherStays ? " beside its wrapper" : " from a launcher"));
        Sleeper launcher, program;
        const std::string launcherParams =
            row.launcherStays ? "--window " + QuoteArgument(program.WindowText()) : "--exit-after-ms 0";
        CEpgDataCapBonManager manager(launcher.Path(),
                                      launcherParams + " --spawn " + QuoteArgument(program.Path()) + " " +
                                          program.Params(row.program),
                                      program.WindowText(), [] { return false; });
        manager.SetQuitTimeoutMs(300);
        CEpgDataCapBonManager launcherProbe(launcher.Path(), "", "", nullptr);
        CEpgDataCapBonManager programProbe(program.Path(), "", "", nullptr);
        ASSERT_TRUE(manager.LaunchIfNotRunning());
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(program.File("polite")); }, 10000));
        const bool polite = program.CanBeAskedToQuit() && row.program.find("--ignore-term") == std::string::npos;
        if (!row.launcherStays)
            ASSERT_TRUE(WaitFor([&] { return !launcherProbe.FindRunningProcess(); }, 10000));
        EXPECT_TRUE(programProbe.FindRunningProcess());
        EXPECT_TRUE(manager.HeldProcessRunning());
        EXPECT_FALSE(manager.LaunchIfNotRunning()) << "what it started still runs";

        const auto started = Clock::now();
        manager.Close(row.endProcess);
        EXPECT_FALSE(manager.HeldProcessRunning());
        EXPECT_LT(ElapsedMs(started), 4000);
        if (!row.endProcess) {
            // Let go: it goes on running and ends by itself, unasked.
            std::this_thread::sleep_for(300ms);
            EXPECT_TRUE(programProbe.FindRunningProcess());
            EXPECT_TRUE(WaitFor([&] { return !programProbe.FindRunningProcess(); }, 10000));
            EXPECT_FALSE(program.QuitPolitely());
            continue;
        }
        EXPECT_FALSE(programProbe.FindRunningProcess());
        EXPECT_FALSE(launcherProbe.FindRunningProcess());
        EXPECT_EQ(program.QuitPolitely(), polite);
    }
}

TEST(EpgDataCapBonManager, LeavesACopyItDidNotStartAlone)
{
    Sleeper standIn;
    // The manager's file name differs from the running copy's in letter case
    // only; the file itself need not exist since the running copy is found.
    std::string upper = standIn.Stem();
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const std::string managerPath = standIn.File(upper + std::filesystem::path(standIn.Path()).extension().string());

    ChildProcess userCopy;
    ASSERT_TRUE(userCopy.Start(standIn.Path(), {"--window", standIn.WindowText()}));
    CEpgDataCapBonManager manager(managerPath, "", standIn.WindowText(), [] { return false; });
    manager.SetQuitTimeoutMs(300);
    ASSERT_TRUE(WaitFor([&] { return manager.FindRunningProcess(); }, 10000));
    EXPECT_FALSE(manager.LaunchIfNotRunning());
    EXPECT_FALSE(manager.Launched());
    manager.Close(true);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(userCopy.Running());

    // A copy of its own, beside the user's that has the same window text:
    // only its own copy is asked to quit and ended.
    userCopy.Terminate();
    ASSERT_TRUE(WaitFor([&] { return !manager.FindRunningProcess(); }, 10000));
    CEpgDataCapBonManager own(standIn.Path(), standIn.Params(), standIn.WindowText(), [] { return false; });
    ASSERT_TRUE(own.LaunchIfNotRunning());
    const bool polite = standIn.CanBeAskedToQuit();
    ChildProcess other;
    const TempDir otherDir;
    const std::string otherPath = otherDir.File("other" + std::filesystem::path(standIn.Path()).extension().string());
    std::filesystem::copy_file(standIn.Path(), otherPath);
    ASSERT_TRUE(other.Start(otherPath, {"--window", standIn.WindowText()}));
    std::this_thread::sleep_for(300ms); // its window exists by then
    own.Close(true);
    EXPECT_EQ(standIn.QuitPolitely(), polite);
    EXPECT_FALSE(own.FindRunningProcess());
    EXPECT_TRUE(other.Running());
}

TEST(EpgDataCapBonManager, ALetGoCopyIsNotStartedAgainButOneTheUserClosedIs)
{
    Sleeper standIn;
    auto manager = ManagerFor(standIn, standIn.Params("--exit-after-ms 1500"));
    ASSERT_TRUE(manager->LaunchIfNotRunning());
    manager->Close(false);
    EXPECT_FALSE(manager->Launched());
    EXPECT_TRUE(manager->FindRunningProcess());
    EXPECT_FALSE(manager->LaunchIfNotRunning());
    EXPECT_FALSE(manager->Launched());
    manager->Close(true); // not held any more: not ended
    EXPECT_TRUE(manager->FindRunningProcess());
    // It ends on its own, not by request.
    EXPECT_TRUE(WaitFor([&] { return !manager->FindRunningProcess(); }, 10000));
    EXPECT_FALSE(standIn.QuitPolitely());

    // A held copy that ended is started anew.
    auto held = ManagerFor(standIn, standIn.Params("--exit-after-ms 200"));
    ASSERT_TRUE(held->LaunchIfNotRunning());
    ASSERT_TRUE(WaitFor([&] { return !held->FindRunningProcess(); }, 10000));
    EXPECT_TRUE(held->Launched()) << "still held until released";
    ASSERT_TRUE(held->LaunchIfNotRunning());
    EXPECT_TRUE(held->FindRunningProcess());
    held->Close(true);
    EXPECT_FALSE(held->FindRunningProcess());
}

TEST(EpgDataCapBonManager, StartFailureIsSilent)
{
    TempDir dir;
    for (const std::string path : {dir.File("EpgDataCap_Bon.exe"), std::string(), dir.Path().string()}) {
        CEpgDataCapBonManager manager(path, "/min", "EpgDataCap_Bon", [] { return false; });
        EXPECT_FALSE(manager.LaunchIfNotRunning()) << path;
        EXPECT_FALSE(manager.Launched());
        EXPECT_EQ(manager.LaunchedProcessId(), 0);
        manager.Close(true);
    }
}

TEST(EpgDataCapBonManager, WaitsForStartUpUntilQuitting)
{
    Sleeper standIn;
    auto manager = ManagerFor(standIn, standIn.Params("--startup-ms 700"));
    auto started = Clock::now();
    ASSERT_TRUE(manager->LaunchIfNotRunning());
    EXPECT_GE(ElapsedMs(started), 600) << "returned before the program finished starting up";
    EXPECT_LT(ElapsedMs(started), 5000);
    manager->Close(true);

    // Quitting ends the wait after the current round, not the start-up.
    std::atomic<int> asked{0};
    auto quitting = ManagerFor(standIn, standIn.Params("--startup-ms 8000"), [&] { return ++asked > 0; });
    quitting->SetQuitTimeoutMs(200);
    started = Clock::now();
    ASSERT_TRUE(quitting->LaunchIfNotRunning());
    EXPECT_LT(ElapsedMs(started), 4000);
    EXPECT_GE(asked.load(), 1);
    EXPECT_TRUE(quitting->Launched());
    quitting->Close(true);
    EXPECT_FALSE(quitting->FindRunningProcess());
}
