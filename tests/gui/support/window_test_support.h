// Helpers for window tests: a message sink that records instead of blocking, a scoped working
// directory, and a scratch world (home, data file, program folder) for a main window.
#pragma once

#include "core/base/prompt.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sendwell::test {

// Answers every message box at once and keeps what was shown; questions are answered by confirm (No
// without it).
class RecordingMessages : public sendwell::Prompt {
public:
    struct Message {
        std::string text;
        std::string caption;
        sendwell::MessageIcon icon;
    };

    void ShowMessage(const std::string& text, const std::string& caption,
                     sendwell::MessageIcon icon) override {
        shown.push_back({text, caption, icon});
    }
    bool Confirm(const std::string& text, const std::string& caption) override {
        return confirm && confirm(text, caption);
    }

    std::vector<Message> shown;
    std::function<bool(const std::string& text, const std::string& caption)> confirm;
};

// Changes the working directory for as long as it lives.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& dir);
    ~ScopedWorkingDirectory();
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

// A fresh user: empty settings and data folders, and an empty program folder as working directory.
class ScratchWorld {
public:
    ScratchWorld();

    const std::filesystem::path& programFolder() const { return programFolder_; }
    // Where the main window loads and saves the database in this world.
    std::filesystem::path databaseFile() const;
    void writeDatabase(const std::string& bytes) const;
    std::string readDatabase() const;

    RecordingMessages messages;

private:
    TempDir root_;
    ScopedXdgHome home_;
    std::filesystem::path programFolder_;
    ScopedWorkingDirectory cwd_;
};

// The data file's bytes for records given as {url, lastSent, submits} and an e-mail address.
std::string DatabaseBytes(const std::vector<std::vector<std::string>>& records, const std::string& email);

} // namespace sendwell::test
