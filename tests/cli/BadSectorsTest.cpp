// A source with unreadable sectors, served by the bad-sector helper (tools/
// badsectors-fuse.cpp) from a real FAT16 image: a quick scan, a deep scan and a save
// over it lose only the bytes that cannot be read, and say which.
#include <gtest/gtest.h>

#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <thread>

#include "tests/cli/RunNorix.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The image served as mount/<its name>, with EIO for the byte ranges in the ranges
// file; unmounted (lazily) and the helper ended with the object.
struct BadSectorMount {
    fs::path mount;
    pid_t helper = 0;
    bool mounted = false;
    BadSectorMount(const fs::path& image, const fs::path& ranges, fs::path at) : mount(std::move(at)) {
#ifdef NORIX_BADSECTORS
        fs::create_directories(mount);
        const std::string start = "'" NORIX_BADSECTORS "' '" + image.string() + "' '" + ranges.string() + "' '" +
                                  mount.string() + "' >/dev/null 2>&1 & echo $!";
        if (FILE* shell = popen(start.c_str(), "r")) {
            if (std::fscanf(shell, "%d", &helper) != 1) helper = 0;
            pclose(shell);
        }
        for (auto waited = 0ms; helper > 0 && !mounted && waited < 10s; waited += 50ms) {
            std::this_thread::sleep_for(50ms);
            mounted = fs::exists(mount / image.filename()) && kill(helper, 0) == 0;
        }
#endif
    }
    ~BadSectorMount() {
        const std::string unmount = "fusermount3 -u -z '" + mount.string() + "' 2>/dev/null";
        [[maybe_unused]] const int unmounted = std::system(unmount.c_str());
        if (helper > 0) kill(helper, SIGTERM);
    }
};

TEST(BadSectors, ScansAndSavingLoseOnlyTheUnreadableBytesAndNameThem) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path image = test::unpackFixture("fat16", scratch / "fat16.img");
    // fragmented.bin: 8 sectors at 292, then 32 at 308 (its bytes 4096 on).
    std::vector<uint8_t> original = test::readBytes(image, 292 * 512, 4096);
    const auto second = test::readBytes(image, 308 * 512, 16384);
    original.insert(original.end(), second.begin(), second.end());
    original.resize(20000);
    test::writeFile(scratch / "original", original);
    const auto manifest = test::readManifest(fs::path(NORIX_SOURCE_DIR) / "tests/fixtures/fat16.manifest");
    const auto listed =
        std::find_if(manifest.begin(), manifest.end(), [](auto& entry) { return entry.path == "/fragmented.bin"; });
    ASSERT_TRUE(listed != manifest.end() && test::sha256Of(scratch / "original") == listed->sha256);
    // Sectors 314-315 (its bytes 7168-8191), and eight in free space.
    std::ofstream(scratch / "ranges") << 314 * 512 << " 1024\n" << 60000 * 512 << " 4096\n";

    BadSectorMount mount(image, scratch / "ranges", scratch / "mnt");
    if (!mount.mounted) GTEST_SKIP() << "the bad-sector helper cannot mount here (no libfuse3 or /dev/fuse)";
    const fs::path out = scratch / "out";
    const fs::path source = mount.mount / "fat16.img";
    const auto run = test::runNorix({"recover", source.string(), "--out", out.string(), "--all"}, scratch.path());

    EXPECT_EQ(run.exitCode, 5) << run.err;  // saved only in part: not a full success
    const std::string sectors = "unreadable sectors 314-315, 60000-60007";
    EXPECT_NE(run.err.find("Quick scan completed\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(sectors + "\n"), std::string::npos) << run.err;
    EXPECT_NE(test::readText(home.dataFolder() / "Core.txt").find(sectors), std::string::npos);
    const fs::path existing = out / "fat16.img" / "Quick Scan" / "Existing Files";
    std::fill(original.begin() + 7168, original.begin() + 8192, 0);
    EXPECT_EQ(test::readFile(existing / "fragmented.bin"), original);
    EXPECT_NE(run.err.find("Saved in part: " + (existing / "fragmented.bin").string() + " (bytes 7168-8191 lost)\n"),
              std::string::npos);
    for (const auto& entry : manifest) {
        if (entry.deleted || entry.path == "/fragmented.bin") continue;
        EXPECT_EQ(test::sha256Of(existing / fs::path(entry.path).relative_path()), entry.sha256) << entry.path;
    }
}

TEST(BadSectors, ADeepScanResumedAfterAKillStillListsWhatItCouldNotReadBeforeIt) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path image = test::unpackFixture("fat16", scratch / "fat16.img");
    // One bad range in the first chunk the sweep reads, one in its last.
    std::ofstream(scratch / "ranges") << 314 * 512 << " 1024\n" << 60000 * 512 << " 4096\n";
    BadSectorMount mount(image, scratch / "ranges", scratch / "mnt");
    if (!mount.mounted) GTEST_SKIP() << "the bad-sector helper cannot mount here (no libfuse3 or /dev/fuse)";
    const fs::path source = mount.mount / "fat16.img", session = scratch / "s.nxdrs";
    const fs::path checkpoint = session.string() + ".checkpoint";

    setenv("NORIX_CHECKPOINT_MS", "0", 1);  // one checkpoint per chunk
    test::killNorixOnceExists({"scan", source.string(), "--type", "D", "--session", session.string()}, checkpoint,
                              0ms);
    unsetenv("NORIX_CHECKPOINT_MS");
    ASSERT_TRUE(fs::exists(checkpoint));
    const auto resumed = test::runNorix({"scan", source.string(), "--resume", session.string()}, scratch.path());
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("unreadable sectors 314-315, 60000-60007\n"), std::string::npos) << resumed.err;
}

}  // namespace
}  // namespace norix
