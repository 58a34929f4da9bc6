#pragma once
// Runs the norix program the way a user does and collects what it says.
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/support/TestSupport.h"

namespace norix::test {

struct NorixRun {
    int exitCode = -1;
    std::string out;
    std::string err;
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

}  // namespace norix::test
