// What norix owes the disk it reads and the disk it saves to: the source is only ever
// opened for reading and comes out unchanged; a destination that fills up mid-run
// keeps every file it took whole and loses only the one being written.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

class SourceSafety : public ::testing::Test {
protected:
    test::TempHome home;
    test::TempDir scratch;
};

// Every open of a file named `name` in an strace log, as "flags (line)"; writes any
// that asks for more than reading into `refused`.
size_t opensOf(const fs::path& log, const std::string& name, std::vector<std::string>& refused) {
    // open("p", F / openat(D, "p", F / openat2(D, "p", {flags=F
    static const std::regex call(R"re(open(at2?)?\((\w+, )?"([^"]*)", (\{flags=)?([A-Z0-9_|]+))re");
    std::ifstream in(log);
    size_t count = 0;
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (!std::regex_search(line, match, call) || fs::path(match[3].str()).filename() != name) continue;
        ++count;
        const std::string flags = match[5];
        if (!flags.starts_with("O_RDONLY") || flags.find("O_CREAT") != std::string::npos ||
            flags.find("O_TRUNC") != std::string::npos || flags.find("O_APPEND") != std::string::npos)
            refused.push_back(line);
    }
    return count;
}

TEST_F(SourceSafety, QuickScanDeepScanAndRecoverOpenTheSourceOnlyForReadingAndLeaveItUnchanged) {
    if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace cannot trace here";
    const fs::path image = scratch / "source.img";
    fs::copy_file(test::sampleImage(), image);
    const std::string before = test::sha256Of(image);

    const std::vector<std::vector<std::string>> runs{{"scan", image.string(), "--type", "Q", "--json"},
                                                     {"scan", image.string(), "--type", "D", "--json"},
                                                     {"recover", image.string(), "--out", (scratch / "out").string(),
                                                      "--all", "--type", "D"}};
    for (size_t i = 0; i < runs.size(); ++i) {
        const fs::path log = scratch / ("strace-" + std::to_string(i) + ".txt");
        // The leak checker cannot run under a tracer; the other suites run it.
        const auto run = test::runNorixUnder(
            "ASAN_OPTIONS=detect_leaks=0 strace -f -s 4096 -e trace=open,openat,openat2 -o '" + log.string() + "' ", runs[i], scratch.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<std::string> refused;
        EXPECT_GT(opensOf(log, "source.img", refused), 0u) << runs[i][0];
        EXPECT_TRUE(refused.empty()) << ::testing::PrintToString(refused);
    }
    EXPECT_FALSE(fs::is_empty(scratch / "out"));
    EXPECT_EQ(test::sha256Of(image), before);
}

// A destination on a small file system of its own: a tmpfs mounted in a private
// user and mount namespace, so no root is needed. It holds more than the selected
// bytes (the check before saving passes) but less than their blocks, so it fills up
// mid-run.
TEST_F(SourceSafety, ADestinationThatFillsUpKeepsEveryFileSavedBeforeWholeAndRemovesTheCutOne) {
    const fs::path image = test::unpackFixture("hfs-512", scratch / "mac.img");
    const fs::path whole = scratch / "whole";
    ASSERT_EQ(test::runNorix({"recover", image.string(), "--out", whole.string(), "--all"}, scratch.path()).exitCode, 0);
    uint64_t bytes = 0, blocks = 0;
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(whole))
        if (entry.is_regular_file()) bytes += entry.file_size(), blocks += (entry.file_size() + 4095) / 4096 * 4096, ++files;

    const fs::path mount = scratch / "small", kept = scratch / "kept";
    fs::create_directories(mount);
    fs::create_directories(kept);
    const std::string launcher = "unshare -rm sh -c 'mount -t tmpfs -o size=" + std::to_string((bytes + blocks) / 2) +
                                 " none \"$0\" || exit 99; kept=$1; shift; \"$@\"; code=$?; cp -r \"$0\"/. \"$kept\"; "
                                 "exit $code' '" + mount.string() + "' '" + kept.string() + "' ";
    const auto run = test::runNorixUnder(launcher, {"recover", image.string(), "--out", mount.string(), "--all"},
                                         scratch.path());
    if (run.exitCode == 99) GTEST_SKIP() << "no private tmpfs here: " << run.err;
    EXPECT_EQ(run.exitCode, 5) << run.err;
    EXPECT_NE(run.err.find("Saving stopped: the destination is full. Saved: "), std::string::npos) << run.err;

    // The count said is the files there, each whole; the one cut is named and gone.
    size_t there = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kept)) {
        if (!entry.is_regular_file()) continue;
        ++there;
        EXPECT_EQ(test::readFile(entry.path()), test::readFile(whole / fs::relative(entry.path(), kept)))
            << entry.path();
    }
    EXPECT_GT(there, 0u);
    EXPECT_LT(there, files);
    EXPECT_NE(run.err.find("Saved: " + std::to_string(there) + " ("), std::string::npos) << run.err;
    const std::string cutLine = "Cut short and removed: " + mount.string() + "/";
    const size_t cut = run.err.find(cutLine);
    ASSERT_NE(cut, std::string::npos) << run.err;
    const std::string cutFile = run.err.substr(cut + cutLine.size(), run.err.find('\n', cut) - cut - cutLine.size());
    EXPECT_TRUE(fs::exists(whole / cutFile)) << cutFile;
    EXPECT_FALSE(fs::exists(kept / cutFile)) << cutFile;
}

}  // namespace
}  // namespace norix
