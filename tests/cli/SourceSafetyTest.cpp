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

}  // namespace
}  // namespace norix
