// The norix command: exit codes, messages and output of drives and scan.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs norix with the arguments (each quoted) and collects its output.
CliRun runNorix(const std::vector<std::string>& args, const fs::path& scratch) {
    std::string command = std::string("'") + NORIX_CLI + "'";
    for (const auto& arg : args) command += " '" + arg + "'";
    const fs::path errFile = scratch / "stderr.txt";
    command += " 2>'" + errFile.string() + "' </dev/null";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = test::readText(errFile);
    return run;
}

class Cli : public ::testing::Test {
protected:
    test::TempHome home;
    test::TempDir scratch;
};

TEST_F(Cli, UsageErrorsExitWithTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"scan"}, {"scan", "a", "b"}, {"scan", "x.img", "--type", "X"}, {"drives", "--bad"}}) {
        const CliRun run = runNorix(args, scratch.path());
        EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_NE(run.err.find("usage: norix"), std::string::npos);
    }
    EXPECT_EQ(runNorix({"--help"}, scratch.path()).exitCode, 0);
}

TEST_F(Cli, SourcesThatCannotBeOpenedExitWithThreeAndSayWhy) {
    const fs::path empty = scratch / "empty.img";
    test::writeFile(empty, {});
    const fs::path missing = scratch / "missing.img";
    for (const auto& [source, words] : std::vector<std::pair<fs::path, std::string>>{
             {missing, "No such file"}, {scratch.path(), "directory"}, {empty, "empty"}}) {
        const CliRun run = runNorix({"scan", source.string()}, scratch.path());
        EXPECT_EQ(run.exitCode, 3) << source;
        EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST_F(Cli, ScanPrintsTheTreeAsJsonAndLeavesTheImageUntouched) {
    const fs::path image = scratch / "sample.img";
    fs::copy_file(test::sampleImage(), image);
    const auto before = test::readFile(image);
    struct stat st {};
    ASSERT_EQ(stat(image.c_str(), &st), 0);
    const auto modified = st.st_mtim;

    const CliRun run = runNorix({"scan", image.string(), "--json"}, scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto tree = nlohmann::json::parse(run.out);
    EXPECT_EQ(tree["name"], "sample.img");
    EXPECT_EQ(tree["entry"], 1);
    ASSERT_EQ(tree["children"].size(), 2u);
    EXPECT_EQ(tree["children"][0]["name"], "Quick Scan");
    EXPECT_EQ(tree["children"][1]["name"], "Deep Scan");
    EXPECT_EQ(tree["children"][1]["children"][1]["path"], "sample.img/Deep Scan");
    EXPECT_NE(run.err.find("Scan completed"), std::string::npos);

    EXPECT_EQ(test::readFile(image), before);
    ASSERT_EQ(stat(image.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, modified.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, modified.tv_nsec);
    EXPECT_TRUE(fs::exists(home.dataFolder() / "Core.txt"));
}

TEST_F(Cli, ScanTypeDefaultsToDeepOnlyWithoutAKnownFileSystem) {
    const fs::path blank = scratch / "blank.img";
    test::writeFile(blank, std::vector<uint8_t>(1 << 20, 0x5A));
    const CliRun run = runNorix({"scan", blank.string()}, scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("Quick Scan"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  Deep Scan/"), std::string::npos) << run.out;

    const CliRun forced = runNorix({"scan", blank.string(), "--type", "Q"}, scratch.path());
    EXPECT_NE(forced.out.find("  Quick Scan/"), std::string::npos) << forced.out;
}

TEST_F(Cli, DrivesListsTheThreeColumns) {
    const CliRun run = runNorix({"drives", "--json"}, scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto columns = nlohmann::json::parse(run.out);
    for (const char* column : {"Select Drive", "External Drives", "Physical Disk"})
        EXPECT_TRUE(columns.contains(column)) << column;
}

}  // namespace
}  // namespace norix
