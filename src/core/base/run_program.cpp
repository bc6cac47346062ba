#include "core/base/run_program.h"

#include "core/base/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sendwell {

namespace {

constexpr std::size_t kMaxOutput = 64 * 1024;

std::string FirstLine(const std::string& text) {
    const std::size_t end = text.find('\n');
    return text.substr(0, end);
}

} // namespace

bool ProgramOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr || name.empty()) {
        return false;
    }
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        if (!folder.empty() && ::access((std::string(folder) + "/" + name).c_str(), X_OK) == 0) {
            return true;
        }
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return false;
}

ProgramRun RunProgram(const std::vector<std::string>& argv) {
    ProgramRun run;
    if (argv.empty() || !ProgramOnPath(argv[0])) {
        run.outcome =
            Outcome::Failed((argv.empty() ? std::string("a program") : argv[0]) + " is not installed");
        return run;
    }
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        run.outcome = Outcome::Failed(std::strerror(errno));
        return run;
    }
    UniqueFd readEnd(pipeEnds[0]);
    UniqueFd writeEnd(pipeEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.close(); // the child holds its own copy; ours would keep the read from ever ending
    if (spawned != 0) {
        run.outcome = Outcome::Failed(argv[0] + ": " + std::strerror(spawned));
        return run;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (run.output.size() < kMaxOutput) {
            run.output.append(
                buffer, std::min<std::size_t>(static_cast<std::size_t>(n), kMaxOutput - run.output.size()));
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        run.outcome = Outcome::Succeeded();
    } else {
        const std::string why = FirstLine(run.output);
        run.outcome = Outcome::Failed(argv[0] + " failed" + (why.empty() ? "" : ": " + why));
    }
    return run;
}

} // namespace sendwell
