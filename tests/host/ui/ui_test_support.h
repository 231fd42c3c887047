#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/ui/form.h"
#include "host/ui/scripted_platform.h"

namespace host::testing {

// Each test gets a fresh application wired to a scripted platform.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application().Reset();
        Application().SetPlatform(&platform);
    }
    void TearDown() override {
        Application().Reset();
        Application().SetPlatform(nullptr);
    }

    ScriptedPlatform platform;
};

// Records events as "<name>:<event>" in the order they run.
class EventLog {
public:
    void watchFocus(TWinControl* control) {
        control->OnEnter = [this, control](TObject*) { add(control->Name() + ":Enter"); };
        control->OnExit = [this, control](TObject*) { add(control->Name() + ":Exit"); };
    }
    void watchClick(TControl* control) {
        control->OnClick = [this, control](TObject*) { add(control->Name() + ":Click"); };
    }
    void add(const std::string& entry) { entries.push_back(entry); }
    void clear() { entries.clear(); }

    std::vector<std::string> entries;
};

}  // namespace host::testing
