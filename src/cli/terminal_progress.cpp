#include "cli/terminal_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace sendwell::cli {

namespace {

constexpr std::size_t kBarWidth = 20;

std::string Duration(double seconds) {
    const long long total = std::llround(seconds);
    const long long h = total / 3600;
    const long long m = total / 60 % 60;
    const long long s = total % 60;
    char text[48];
    if (h > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", h, m, s);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", m, s);
    }
    return text;
}

// At most width bytes of text, never ending inside a UTF-8 sequence.
std::string CutToWidth(std::string text, std::size_t width) {
    if (text.size() <= width) {
        return text;
    }
    std::size_t end = width;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    return text;
}

std::size_t TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

} // namespace

std::string ProgressLine(std::size_t done, std::size_t total, double elapsedSeconds, std::string_view label,
                         std::size_t width) {
    const std::size_t filled = total == 0 ? kBarWidth : std::min(kBarWidth, done * kBarWidth / total);
    // Appended piece by piece: GCC 12 at -O3 takes chains of operator+ for overlapping copies
    // (-Wrestrict, GCC bug 105651).
    std::string line;
    line.reserve(kBarWidth + 64 + label.size());
    line += '[';
    line.append(filled, '#').append(kBarWidth - filled, '.');
    line += "]  ";
    line += std::to_string(done);
    line += '/';
    line += std::to_string(total);
    if (done > 0 && elapsedSeconds > 0) {
        const double rate = static_cast<double>(done) / elapsedSeconds;
        char text[32];
        std::snprintf(text, sizeof text, "  %.1f/s  ", rate);
        const std::size_t left = total > done ? total - done : 0;
        line += text;
        line += Duration(static_cast<double>(left) / rate);
        line += " left";
    } else {
        line += "  -/s  - left";
    }
    if (!label.empty()) {
        line += "  ";
        line += label;
    }
    // One column stays free, so that a full line does not wrap on terminals that wrap at once.
    return CutToWidth(std::move(line), width > 0 ? width - 1 : 0);
}

TerminalProgress::TerminalProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}

bool TerminalProgress::StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void TerminalProgress::SetStatusText(const std::string& text) {
    label_ = text;
    Draw();
}

void TerminalProgress::SetSteps(std::uint64_t done, std::uint64_t total) {
    if (!started_ || total != total_) {
        started_ = true;
        total_ = static_cast<std::size_t>(total);
        start_ = std::chrono::steady_clock::now();
    }
    done_ = static_cast<std::size_t>(done);
    Draw();
}

void TerminalProgress::Clear() {
    if (enabled_ && shown_) {
        err_ << "\r\033[K" << std::flush;
        shown_ = false;
    }
}

void TerminalProgress::Draw() {
    if (!enabled_) {
        return;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    err_ << "\r" << ProgressLine(done_, total_, elapsed, label_, TerminalWidth()) << "\033[K" << std::flush;
    shown_ = true;
}

} // namespace sendwell::cli
