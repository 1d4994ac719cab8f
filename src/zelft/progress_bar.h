// The progress bar of a copy on a terminal: bytes moved, the percentage when
// the size is known, the rate and the time left, redrawn in place on one
// line. The library reports progress through the callback registered with
// RFA_IOCTL_PROGRESS; the text is formatted by functions of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelft {

// 812 B, 1.5 KiB, 12.3 MiB, 4.0 GiB.
std::string FormatBytes(uint64_t bytes);

// Seconds, rounded up, as M:SS or H:MM:SS.
std::string FormatDuration(double seconds);

struct ProgressSample {
    uint64_t bytes = 0;
    uint64_t total = UINT64_MAX;  // UINT64_MAX: not known
    double seconds = 0;           // since the copy began
    bool finished = false;        // the copy has ended: show the time taken instead of the time left
};

// One line of at most `width` columns: the label (shortened from its left
// end when space is short), a bar and the percentage when the total is known,
// the bytes, the rate and the time left or taken.
std::string FormatProgressLine(std::string_view label, const ProgressSample& sample, size_t width);

// Draws the bar on a terminal. Updates come from the library's callback.
class ProgressBar {
public:
    explicit ProgressBar(int terminalFd);

    // A new copy begins; nothing is drawn until its first update.
    void Begin(const std::string& label);
    void Update(uint64_t bytes, uint64_t total);
    // Draws the final state and ends the line. When no update came, a copy
    // that succeeded is drawn complete at `bytes`, one that failed not at all.
    void Finish(bool succeeded, uint64_t bytes);

    // The RfaProgressProc: `context` is the ProgressBar.
    static void Callback(void* context, uint64_t bytesTransferred, uint64_t localFileSize);

private:
    void Draw(const ProgressSample& sample);
    size_t Width() const;

    int fd_;
    std::string label_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    ProgressSample last_;
    bool updated_ = false;
};

}  // namespace zelft
