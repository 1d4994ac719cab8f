#include "zelft/progress_bar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "zelft/terminal_text.h"

namespace zelft {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr size_t kDefaultWidth = 80;
constexpr size_t kMinimumBar = 10;
constexpr size_t kMinimumLabel = 8;

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written <= 0) return;  // a progress bar that cannot be drawn is not worth a failure
        done += static_cast<size_t>(written);
    }
}

std::string ShortenedLabel(std::string_view label, size_t room) {
    if (label.size() <= room) return std::string(label);
    if (room <= 3) return std::string(label.substr(label.size() - room));
    return "..." + std::string(label.substr(label.size() - (room - 3)));
}

}  // namespace

std::string FormatBytes(uint64_t bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
        return text;
    }
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string FormatDuration(double seconds) {
    const auto total = seconds <= 0 ? 0ULL : static_cast<unsigned long long>(std::ceil(seconds));
    char text[32];
    if (total < 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu", total / 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", total / 3600, total / 60 % 60, total % 60);
    }
    return text;
}

std::string FormatProgressLine(std::string_view label, const ProgressSample& sample, size_t width) {
    const bool sized = sample.total != UINT64_MAX;
    const double rate = sample.seconds > 0 ? static_cast<double>(sample.bytes) / sample.seconds : 0;

    std::string figures = FormatBytes(sample.bytes);
    figures += "  " + (rate > 0 ? FormatBytes(static_cast<uint64_t>(rate)) + "/s" : std::string("--/s"));
    if (sample.finished) {
        figures += "  in " + FormatDuration(sample.seconds);
    } else if (sized && rate > 0 && sample.bytes < sample.total) {
        figures += "  " + FormatDuration(static_cast<double>(sample.total - sample.bytes) / rate) + " left";
    }

    std::string percent;
    unsigned fraction = 0;  // per thousand
    if (sized) {
        fraction = sample.total == 0 || sample.bytes >= sample.total
                       ? 1000
                       : static_cast<unsigned>(static_cast<double>(sample.bytes) * 1000.0 /
                                               static_cast<double>(sample.total));
        char text[16];
        std::snprintf(text, sizeof text, "%3u%%", fraction / 10);
        percent = text;
    }

    // label  [=====>    ]  45%  12.3 MiB  4.1 MiB/s  0:03 left
    size_t fixed = 2 + figures.size();
    if (sized) fixed += 2 + percent.size();
    const size_t available = width > fixed ? width - fixed : 0;
    size_t labelRoom = label.size();
    size_t barWidth = 0;
    // The bar takes its width plus two blanks before it.
    if (sized && available >= labelRoom + 2 + kMinimumBar) {
        barWidth = available - labelRoom - 2;
    } else if (labelRoom > available) {
        labelRoom = available > kMinimumLabel ? available : kMinimumLabel;
    }

    std::string line = ShortenedLabel(label, labelRoom);
    if (barWidth > 0) {
        const size_t inner = barWidth - 2;
        const size_t filled = inner * fraction / 1000;
        line += "  [" + std::string(filled, '=');
        if (filled < inner) line += '>' + std::string(inner - filled - 1, ' ');
        line += ']';
    }
    if (sized) line += "  " + percent;
    line += "  " + figures;
    if (line.size() > width) line.resize(width);
    return line;
}

ProgressBar::ProgressBar(int terminalFd) : fd_(terminalFd) {}

void ProgressBar::Begin(const std::string& label) {
    label_ = Printable(label);
    start_ = std::chrono::steady_clock::now();
    lastDraw_ = start_;
    last_ = ProgressSample{};
    updated_ = false;
}

void ProgressBar::Update(uint64_t bytes, uint64_t total) {
    const auto now = std::chrono::steady_clock::now();
    last_.bytes = bytes;
    last_.total = total;
    last_.seconds = std::chrono::duration<double>(now - start_).count();
    const bool first = !updated_;
    updated_ = true;
    if (!first && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    Draw(last_);
}

void ProgressBar::Finish(bool succeeded, uint64_t bytes) {
    if (!updated_ && !succeeded) return;
    ProgressSample sample = last_;
    if (!updated_) {
        sample.bytes = bytes;
        sample.total = bytes;
    }
    sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    sample.finished = true;
    Draw(sample);
    WriteAll(fd_, "\n");
}

void ProgressBar::Callback(void* context, uint64_t bytesTransferred, uint64_t localFileSize) {
    static_cast<ProgressBar*>(context)->Update(bytesTransferred, localFileSize);
}

void ProgressBar::Draw(const ProgressSample& sample) {
    const size_t width = Width();
    // Leave the last column free, so that the terminal does not wrap.
    std::string line = FormatProgressLine(label_, sample, width > 1 ? width - 1 : width);
    if (line.size() + 1 < width) line.append(width - 1 - line.size(), ' ');
    WriteAll(fd_, "\r" + line);
}

size_t ProgressBar::Width() const {
    struct winsize size {};
    if (::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultWidth;
}

}  // namespace zelft
