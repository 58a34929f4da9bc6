// A deep scan killed outright (SIGKILL: no chance to tidy up) and resumed from its
// checkpoint ends with the tree an uninterrupted scan gives, node for node; a checkpoint
// cut short or of another disk is refused without being touched.
#include <gtest/gtest.h>

#include <random>

#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using test::runNorix;

class Resume : public ::testing::Test {
protected:
    void SetUp() override { setenv("NORIX_CHECKPOINT_MS", "0", 1); }  // one checkpoint per chunk
    void TearDown() override { unsetenv("NORIX_CHECKPOINT_MS"); }

    test::TempHome home;
    test::TempDir scratch;
    const fs::path image = test::fixtureFolder("make-resume-fixture.sh") / "mixed.img";
};

TEST_F(Resume, ADeepScanKilledTwiceAtRandomPointsAndResumedEndsWithTheUninterruptedTree) {
    const auto started = std::chrono::steady_clock::now();
    const auto whole = runNorix({"scan", image.string(), "--type", "D", "--json"}, scratch.path());
    // Kills land within the first half of a whole scan's time, however fast this machine sweeps.
    const auto wholeMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    ASSERT_NE(whole.out.find("Lost Partition: Fat"), std::string::npos);
    ASSERT_NE(whole.out.find("Lost Partition: ExFat"), std::string::npos);
    ASSERT_NE(whole.out.find("Lost Partition: HFS"), std::string::npos);
    int resumedRuns = 0;
    for (const unsigned seed : {7u, 21u, 1999u, 4242u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> delayMs(0, static_cast<int>(wholeMs.count() / 2));
        const fs::path session = scratch / ("run" + std::to_string(seed) + ".nxdrs");
        const fs::path checkpoint = session.string() + ".checkpoint";
        test::killNorixOnceExists({"scan", image.string(), "--type", "D", "--session", session.string()}, checkpoint,
                   std::chrono::milliseconds(delayMs(random)));
        test::killNorixOnceExists({"scan", image.string(), "--resume", session.string()}, checkpoint,
                   std::chrono::milliseconds(delayMs(random)));
        // A kill after the scan's end leaves the session and no checkpoint.
        if (!fs::exists(checkpoint)) continue;
        const auto resumed = runNorix({"scan", image.string(), "--json", "--resume", session.string()}, scratch.path());
        ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
        EXPECT_EQ(resumed.out, whole.out);
        EXPECT_FALSE(fs::exists(checkpoint));
        EXPECT_TRUE(fs::exists(session));
        ++resumedRuns;
    }
    EXPECT_GE(resumedRuns, 2) << "the kills came after the scan's end: too little was resumed";
}

TEST_F(Resume, ACheckpointCutShortOrOfAnotherDiskIsRefusedAndKept) {
    const fs::path copy = scratch / "copy.img", session = scratch / "s.nxdrs";
    fs::copy_file(image, copy);
    const fs::path checkpoint = session.string() + ".checkpoint";
    test::killNorixOnceExists({"scan", copy.string(), "--type", "D", "--session", session.string()}, checkpoint,
               std::chrono::milliseconds(0));
    ASSERT_TRUE(fs::exists(checkpoint));
    const auto bytes = test::readFile(checkpoint);

    test::writeFile(checkpoint, std::vector<uint8_t>(bytes.begin(), bytes.end() - 100));
    auto run = runNorix({"scan", copy.string(), "--resume", session.string()}, scratch.path());
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_NE(run.err.find("cut short"), std::string::npos) << run.err;
    EXPECT_EQ(test::readFile(checkpoint).size(), bytes.size() - 100);

    test::writeFile(checkpoint, bytes);
    test::writeBytes(copy, 4096, {0x55});  // the disk written to since
    run = runNorix({"scan", copy.string(), "--resume", session.string()}, scratch.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("first sectors were different"), std::string::npos) << run.err;
    run = runNorix({"scan", image.string(), "--resume", session.string()}, scratch.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("not of " + image.string()), std::string::npos) << run.err;
    EXPECT_EQ(test::readFile(checkpoint), bytes);
}

}  // namespace
}  // namespace norix
