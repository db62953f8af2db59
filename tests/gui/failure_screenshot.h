#pragma once
// What the screen showed when a window test failed, saved before its program
// goes: failure-<suite>-<test>.png among the artifacts.
#include <gtest/gtest.h>

#include <string>

#include "gui/gui_driver.h"

inline void SaveFailureScreenshot()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info || !info->result()->Failed())
        return;
    const std::string name = std::string("failure-") + info->test_suite_name() + "-" + info->name() + ".png";
    gui::SaveScreenshot(nullptr, gui::ArtifactPath(std::wstring(name.begin(), name.end())));
}
