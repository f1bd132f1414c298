// ProgressBar: one line on stderr, redrawn in place, for long runs. It
// draws only when told to (the caller decides: stderr a terminal, not
// quiet, enough work) and only when the shown figure changes. It shows the
// rate so far and the time left at that rate.
#pragma once
#include <chrono>
#include <cstdint>

class ProgressBar {
public:
    ProgressBar(bool enabled, uint64_t total);
    ~ProgressBar(); // ends the line when something was drawn
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Advance(uint64_t bytes);
    void Finish();

    // Whether stderr is a terminal.
    static bool StderrIsTerminal();

private:
    void Draw();

    bool enabled_;
    bool drawn_ = false;
    uint64_t total_;
    uint64_t done_ = 0;
    int shownPermille_ = -1;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
