// A UserInterface for tests: records every message box instead of showing
// it, counts the passes of message handling and can run an action at each
// pass (to change the disk between two archive records).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "launcher/UserInterface.h"

class RecordingUi : public UserInterface {
public:
    struct Shown {
        HWND owner;
        std::string text;
        std::string caption;
        uint32_t style;
    };

    void ProcessMessages() override
    {
        ++passes;
        if (onPass)
            onPass(passes);
    }
    void ShowMessage(HWND owner, const char* text, const char* caption, uint32_t style) override
    {
        shown.push_back({owner, text != nullptr ? text : "", caption != nullptr ? caption : "", style});
    }
    HWND ProgressWindow() const override { return nullptr; }
    void HideWindows() override {}
    void SetExitStatus(uint32_t status) override { exitStatus = status; }

    std::vector<Shown> shown;
    int passes = 0;
    uint32_t exitStatus = 0;
    // Called with the pass number (from 1) at every pass.
    std::function<void(int)> onPass;
};
