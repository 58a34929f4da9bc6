#pragma once
// Runs the norix program the way a user does and collects what it says.
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/TestSupport.h"

namespace norix::test {

struct NorixRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::chrono::milliseconds took{};  // measured by runNorixWatched
    long peakKiB = 0;
};

// Runs norix under a launcher (shell text such as "strace -o FILE ", or none) with the
// arguments (each quoted), no input, stderr kept in scratch.
inline NorixRun runNorixUnder(const std::string& launcher, const std::vector<std::string>& args,
                              const std::filesystem::path& scratch) {
    std::string command = launcher + "'" + NORIX_CLI + "'";
    for (const auto& arg : args) command += " '" + arg + "'";
    const std::filesystem::path errFile = scratch / "stderr.txt";
    command += " 2>'" + errFile.string() + "' </dev/null";
    NorixRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    for (size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = readText(errFile);
    return run;
}

inline NorixRun runNorix(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    return runNorixUnder({}, args, scratch);
}

// Runs norix with the arguments (no shell), stdout and stderr kept in scratch; sends
// Ctrl-C once stderr shows `interruptAfter` (unless empty) and kills it (exit code -1)
// when it runs past `limit`. Measures its time and peak memory.
inline NorixRun runNorixWatched(std::vector<std::string> args, const std::filesystem::path& scratch,
                                const std::string& interruptAfter, std::chrono::seconds limit) {
    const std::string out = (scratch / "out.txt").string(), err = (scratch / "err.txt").string();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), NORIX_CLI);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    NorixRun run;
    pid_t child = 0;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = posix_spawn(&child, NORIX_CLI, &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    bool interrupted = interruptAfter.empty();
    while (wait4(child, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() - start > limit) {
            kill(child, SIGKILL);
            wait4(child, &status, 0, &usage);
            break;
        }
        if (!interrupted && readText(err).find(interruptAfter) != std::string::npos)
            interrupted = kill(child, SIGINT) == 0;
        usleep(20'000);
    }
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKiB = usage.ru_maxrss;
    run.out = readText(out);
    run.err = readText(err);
    return run;
}

// Starts norix (output dropped) and kills it outright (SIGKILL: no chance to tidy up)
// once `file` has existed for `delay`, unless it ends first.
inline void killNorixOnceExists(std::vector<std::string> args, const std::filesystem::path& file,
                                std::chrono::milliseconds delay) {
    args.insert(args.begin(), NORIX_CLI);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, NORIX_CLI, &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) return;
    int status = 0;
    for (auto end = std::chrono::steady_clock::time_point::max(); waitpid(child, &status, WNOHANG) == 0;) {
        if (end == std::chrono::steady_clock::time_point::max() && std::filesystem::exists(file))
            end = std::chrono::steady_clock::now() + delay;
        if (std::chrono::steady_clock::now() >= end) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return;
        }
        usleep(1'000);
    }
}

}  // namespace norix::test
