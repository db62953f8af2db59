#pragma once
// What the window tests share: Vernwick.exe in a folder of its own, the
// stand-in EpgDataCap_Bon it may talk to, and, when a check failed, what the
// screen showed (failure-<suite>-<test>.png among the artifacts) before the
// program goes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "gui/gui_driver.h"
#include "gui/vernwick_app.h"
#include "support/standin.h"

constexpr int WaitMs = 10000;
// The server notices a stop within one 3-second wait, plus its 100 ms polls.
constexpr int StopWaitMs = 10000;

class WindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        if (info->result()->Failed()) {
            const std::string name = std::string("failure-") + info->test_suite_name() + "-" + info->name() + ".png";
            gui::SaveScreenshot(nullptr, gui::ArtifactPath(std::wstring(name.begin(), name.end())));
        }
        app.EndPolitely(StopWaitMs);
    }

    HWND C(int id) const { return app.Control(id); }
    // The program with these [Parameter] lines in its settings, started.
    bool Start(const std::string& parameters, const std::vector<std::string>& args = {})
    {
        app.WriteIni("[Parameter]\r\n" + parameters);
        return app.Start(args);
    }
    std::string PortLine(const StandIn& upstream) const
    {
        return "RemoconPort=" + std::to_string(upstream.Port()) + "\r\n";
    }

    // Declared first so that it outlives the program that talks to it.
    StandIn standin;
    VernwickApp app;
};
