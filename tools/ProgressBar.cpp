#include "tools/ProgressBar.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {
constexpr int kWidth = 30;
}

ProgressBar::ProgressBar(bool enabled, uint64_t total) : enabled_(enabled), total_(total) {}

ProgressBar::~ProgressBar()
{
    Finish();
}

bool ProgressBar::StderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void ProgressBar::Advance(uint64_t bytes)
{
    done_ += bytes;
    if (done_ > total_)
        done_ = total_; // a file that grew while it was read
    Draw();
}

void ProgressBar::Finish()
{
    if (drawn_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
    enabled_ = false;
}

void ProgressBar::Draw()
{
    if (!enabled_)
        return;
    int permille = total_ == 0 ? 1000 : static_cast<int>(static_cast<double>(done_) * 1000.0 / static_cast<double>(total_));
    if (permille > 1000)
        permille = 1000;
    if (permille == shownPermille_)
        return;
    shownPermille_ = permille;
    char bar[kWidth + 1];
    int filled = permille * kWidth / 1000;
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    double rate = seconds > 0.05 ? static_cast<double>(done_) / seconds : 0.0; // bytes per second
    char left[32] = "";
    if (rate > 0.0) {
        long remaining = static_cast<long>(static_cast<double>(total_ - done_) / rate + 0.5);
        std::snprintf(left, sizeof left, ", %ld:%02ld left", remaining / 60, remaining % 60);
    }
    std::fprintf(stderr, "\r[%s] %3d.%d%%  %.1f of %.1f MiB, %.1f MiB/s%s  ", bar, permille / 10, permille % 10,
                 static_cast<double>(done_) / 1048576.0, static_cast<double>(total_) / 1048576.0, rate / 1048576.0,
                 left);
    std::fflush(stderr);
    drawn_ = true;
}
