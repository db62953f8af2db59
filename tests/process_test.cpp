#include <atomic>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

#include "common/file_io.h"
#include "process/child_process.h"
#include "process/command_line.h"
#include "process/epgdatacapbon_manager.h"
#include "support/server_fixture.h"
#include "support/temp_dir.h"
#include "support/tool_path.h"

namespace {

using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

// A copy of the sleeper under a file name of its own, so that no other test
// (or other running copy) has a process of that name; short enough to be a
// whole process command name (15 bytes). The window text is just as unique.
class Sleeper {
public:
    Sleeper()
    {
        static std::atomic<int> counter{0};
        FStem = "ed" + std::to_string(std::random_device()() % 1000000) + "n" + std::to_string(counter++);
        FWindowText = "EpgDataCap_Bon " + FStem;
        const std::filesystem::path tool = ToolPath("vernwick-sleeper");
        FPath = FDir.File(FStem + tool.extension().string());
        std::filesystem::copy_file(tool, FPath);
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    }
    const std::string& Path() const { return FPath; }
    const std::string& Stem() const { return FStem; }
    const std::string& WindowText() const { return FWindowText; }
    std::string File(const std::string& name) const { return FDir.File(name); }
    // The sleeper's parameters giving it the window, a quit record, and an
    // end of its own once EndOnItsOwn is called.
    std::string Params(const std::string& more = "") const
    {
        return "--window " + QuoteArgument(FWindowText) + " --quit-file " + QuoteArgument(File("quit")) +
               " --polite-file " + QuoteArgument(File("polite")) + " --exit-when " + QuoteArgument(File("end")) +
               " " + more;
    }
    void EndOnItsOwn() const { ReplaceFileAtomically(File("end"), ""); }
    bool QuitPolitely() const { return ReadWholeFile(File("quit")) == std::optional<std::string>("quit\n"); }
    // Whether a quit request can reach the started copy: always with
    // SIGTERM; on Windows only where it could create its window (Wine
    // without a display cannot), else it is ended by force at once.
    bool CanBeAskedToQuit() const
    {
        EXPECT_TRUE(WaitFor([this] { return std::filesystem::exists(File("polite")); }, 10000));
        return ReadWholeFile(File("polite")) == std::optional<std::string>("yes\n");
    }
    std::unique_ptr<CEpgDataCapBonManager> Manager(const std::string& params,
                                                   std::function<bool()> quitting = [] { return false; }) const
    {
        return std::make_unique<CEpgDataCapBonManager>(FPath, params, FWindowText, std::move(quitting));
    }

private:
    TempDir FDir;
    std::string FStem;
    std::string FWindowText;
    std::string FPath;
};

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

TEST(CommandLine, LaunchLineItsArgumentsAndFileNames)
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
    child.Terminate();
    EXPECT_FALSE(child.Running());
    EXPECT_TRUE(child.Wait(0).has_value());

    ChildProcess missing;
    EXPECT_FALSE(missing.Start(dir.File("no-such-program"), {}));
    EXPECT_FALSE(missing.Running());
    for (const std::string path : {dir.File("EpgDataCap_Bon.exe"), std::string(), dir.Path().string()}) {
        CEpgDataCapBonManager manager(path, "/min", "EpgDataCap_Bon", [] { return false; });
        EXPECT_FALSE(manager.LaunchIfNotRunning()) << path;
        EXPECT_FALSE(manager.Launched());
    }
}

TEST(EpgDataCapBonManager, LaunchesOnceWithItsParametersSplitAndEndsItsCopyPolitelyOrByForce)
{
    // A copy that heeds the request ends at once, however long the quit
    // time-out; one that ignores it is given the time-out, then ended by
    // force; and so is one still held when the manager goes away.
    for (const bool heeds : {true, false}) {
        SCOPED_TRACE(heeds ? "heeds the request" : "ignores the request");
        Sleeper standIn;
        const std::string argsFile = standIn.File("args");
        auto manager = standIn.Manager(standIn.Params((heeds ? "" : "--ignore-term ") +
                                                      std::string("--startup-ms 700 --args-file ") +
                                                      QuoteArgument(argsFile) + R"( "two words" a\\"b c" "" x)"));
        manager->SetQuitTimeoutMs(heeds ? 30000 : 300);
        EXPECT_FALSE(manager->FindRunningProcess());
        const auto launching = Clock::now();
        ASSERT_TRUE(manager->LaunchIfNotRunning());
        EXPECT_GE(ElapsedMs(launching), 600) << "returned before the program finished starting up";
        EXPECT_TRUE(manager->Launched());
        EXPECT_TRUE(manager->FindRunningProcess());
        const long pid = manager->LaunchedProcessId();
        EXPECT_GT(pid, 0);
        const bool askable = standIn.CanBeAskedToQuit();
        // The file is written before the program finishes starting up.
        EXPECT_TRUE(ReadWholeFile(argsFile).value_or("").ends_with("\n" + argsFile + "\ntwo words\na\\b c\n\nx\n"));

        // Running: nothing more is started and the held copy stays the same.
        EXPECT_FALSE(manager->LaunchIfNotRunning());
        EXPECT_EQ(manager->LaunchedProcessId(), pid);

        const auto started = Clock::now();
        manager->Close(true);
        EXPECT_LT(ElapsedMs(started), 20000);
        if (askable && !heeds)
            EXPECT_GE(ElapsedMs(started), 250) << "asked to quit, so given the time-out";
        EXPECT_EQ(standIn.QuitPolitely(), askable && heeds);
        EXPECT_FALSE(manager->Launched());
        EXPECT_EQ(manager->LaunchedProcessId(), 0);
        EXPECT_FALSE(manager->FindRunningProcess());

        ASSERT_TRUE(manager->LaunchIfNotRunning());
        manager.reset();
        EXPECT_FALSE(standIn.Manager("")->FindRunningProcess());
    }
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
        {false, "--exit-after-ms 60000", false},
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
        const auto launcherProbe = launcher.Manager("");
        const auto programProbe = program.Manager("");
        ASSERT_TRUE(manager.LaunchIfNotRunning());
        const bool polite = program.CanBeAskedToQuit() && row.program.find("--ignore-term") == std::string::npos;
        if (!row.launcherStays)
            ASSERT_TRUE(WaitFor([&] { return !launcherProbe->FindRunningProcess(); }, 10000));
        EXPECT_TRUE(programProbe->FindRunningProcess());
        EXPECT_TRUE(manager.HeldProcessRunning());
        EXPECT_FALSE(manager.LaunchIfNotRunning()) << "what it started still runs";

        const auto started = Clock::now();
        manager.Close(row.endProcess);
        EXPECT_FALSE(manager.HeldProcessRunning());
        EXPECT_LT(ElapsedMs(started), 20000);
        if (!row.endProcess) {
            // Let go: it goes on running, unasked, until its user ends it.
            EXPECT_TRUE(programProbe->FindRunningProcess());
            program.EndOnItsOwn();
            EXPECT_TRUE(WaitFor([&] { return !programProbe->FindRunningProcess(); }, 10000));
            EXPECT_FALSE(program.QuitPolitely());
            continue;
        }
        EXPECT_FALSE(programProbe->FindRunningProcess());
        EXPECT_FALSE(launcherProbe->FindRunningProcess());
        EXPECT_EQ(program.QuitPolitely(), polite);
    }
}

TEST(EpgDataCapBonManager, LeavesACopyItDoesNotHoldAloneAndStartsAnewOneThatEnded)
{
    // The user's copy, found though the manager's file name differs in letter
    // case only; the file itself need not exist since the running copy is found.
    Sleeper standIn;
    std::string upper = standIn.Stem();
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const std::string extension = std::filesystem::path(standIn.Path()).extension().string();
    CEpgDataCapBonManager caseBlind(standIn.File(upper + extension), "", standIn.WindowText(), [] { return false; });
    ChildProcess userCopy;
    ASSERT_TRUE(userCopy.Start(standIn.Path(), {"--window", standIn.WindowText()}));
    ASSERT_TRUE(WaitFor([&] { return caseBlind.FindRunningProcess(); }, 10000));
    EXPECT_FALSE(caseBlind.LaunchIfNotRunning());
    EXPECT_FALSE(caseBlind.Launched());
    caseBlind.Close(true);
    EXPECT_EQ(userCopy.Wait(200), std::nullopt) << "ended, though not the manager's";
    userCopy.Terminate();

    // A copy let go of is neither started again nor ended.
    auto manager = standIn.Manager(standIn.Params());
    ASSERT_TRUE(WaitFor([&] { return !manager->FindRunningProcess(); }, 10000));
    ASSERT_TRUE(manager->LaunchIfNotRunning());
    manager->Close(false);
    EXPECT_TRUE(manager->FindRunningProcess());
    EXPECT_FALSE(manager->LaunchIfNotRunning());
    EXPECT_FALSE(manager->Launched());
    manager->Close(true);
    EXPECT_TRUE(manager->FindRunningProcess());
    standIn.EndOnItsOwn();
    EXPECT_TRUE(WaitFor([&] { return !manager->FindRunningProcess(); }, 10000));
    EXPECT_FALSE(standIn.QuitPolitely());

    // A held copy that ended is started anew (this one ends at once).
    ASSERT_TRUE(manager->LaunchIfNotRunning());
    ASSERT_TRUE(WaitFor([&] { return !manager->FindRunningProcess(); }, 10000));
    EXPECT_TRUE(manager->Launched()) << "still held until released";
    std::filesystem::remove(standIn.File("end"));
    ASSERT_TRUE(manager->LaunchIfNotRunning());
    const bool polite = standIn.CanBeAskedToQuit();

    // Beside another program with the same window text, only its own copy is
    // asked to quit and ended.
    const TempDir otherDir;
    const std::string otherPath = otherDir.File("other" + extension);
    std::filesystem::copy_file(standIn.Path(), otherPath);
    ChildProcess other;
    ASSERT_TRUE(other.Start(otherPath, {"--window", standIn.WindowText(), "--polite-file", otherDir.File("polite")}));
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(otherDir.File("polite")); }, 10000)); // its window exists
    manager->Close(true);
    EXPECT_EQ(standIn.QuitPolitely(), polite);
    EXPECT_FALSE(manager->FindRunningProcess());
    EXPECT_TRUE(other.Running());
}

TEST(EpgDataCapBonManager, QuittingEndsTheWaitForStartUpAfterTheCurrentRound)
{
    Sleeper standIn;
    std::atomic<int> asked{0};
    auto quitting = standIn.Manager(standIn.Params("--startup-ms 60000"), [&] { return ++asked > 0; });
    const auto started = Clock::now();
    ASSERT_TRUE(quitting->LaunchIfNotRunning());
    EXPECT_LT(ElapsedMs(started), 30000);
    EXPECT_GE(asked.load(), 1);
    EXPECT_TRUE(quitting->Launched());
    quitting->Close(true);
    EXPECT_FALSE(quitting->FindRunningProcess());
}
