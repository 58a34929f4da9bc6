// A source with unreadable sectors, served by the bad-sector helper (tools/
// badsectors-fuse.cpp) from a real FAT16 image: a quick scan, a deep scan and a save
// over it lose only the bytes that cannot be read, and say which.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include "tests/cli/RunNorix.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The image served with EIO for the byte ranges in `ranges`, as mount/<image name>;
// unmounted lazily and the helper ended with the object.
class BadSectorMount {
public:
    BadSectorMount(const fs::path& image, const fs::path& ranges, const fs::path& mount) : mount_(mount) {
#ifdef NORIX_BADSECTORS
        fs::create_directories(mount);
        std::vector<std::string> args{NORIX_BADSECTORS, image.string(), ranges.string(), mount.string()};
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (access("/dev/fuse", R_OK | W_OK) != 0) {
            why_ = "no /dev/fuse here";
            return;
        }
        if (posix_spawn(&helper_, NORIX_BADSECTORS, nullptr, nullptr, argv.data(), environ) != 0) {
            why_ = "the helper did not start";
            return;
        }
        const fs::path served = mount / image.filename();
        for (auto waited = 0ms; waited < 10s; waited += 50ms) {
            struct stat st {};
            if (::stat(served.c_str(), &st) == 0 && st.st_size == static_cast<off_t>(fs::file_size(image))) return;
            if (int status; waitpid(helper_, &status, WNOHANG) == helper_) {
                helper_ = 0;
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        why_ = "the helper could not mount (FUSE not usable here)";
#else
        why_ = "built without libfuse3";
#endif
    }
    ~BadSectorMount() {
        // Fails only when nothing is mounted there.
        [[maybe_unused]] const int unmounted =
            std::system(("fusermount3 -u -z '" + mount_.string() + "' 2>/dev/null").c_str());
        if (helper_ > 0) {
            kill(helper_, SIGTERM);
            waitpid(helper_, nullptr, 0);
        }
    }
    // Why the image is not served; empty when it is.
    const std::string& whyNot() const { return why_; }

private:
    fs::path mount_;
    pid_t helper_ = 0;
    std::string why_;
};

const nlohmann::json* find(const nlohmann::json& node, const std::string& name) {
    if (node.value("name", "") == name) return &node;
    if (node.contains("children"))
        for (const auto& child : node.at("children"))
            if (const auto* found = find(child, name)) return found;
    return nullptr;
}

TEST(BadSectors, ScansAndSavingLoseOnlyTheUnreadableBytesAndNameThem) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path image = test::unpackFixture("fat16", scratch / "fat16.img");
    // Where fragmented.bin lies: its second run starts 4096 bytes into the file.
    const auto tree = nlohmann::json::parse(test::runNorix({"scan", image.string(), "--json"}, scratch.path()).out);
    const nlohmann::json* file = find(tree, "fragmented.bin");
    ASSERT_NE(file, nullptr);
    const uint64_t unit = (*file)["blockSize"], base = (*file)["blocksStartsAtSector"];
    const auto& runs = (*file)["extents"];
    ASSERT_EQ(runs.size(), 2u);
    ASSERT_EQ(runs[0][1].get<uint64_t>() * unit, 4096u);
    std::vector<uint8_t> original;
    for (const auto& run : runs) {
        const auto bytes = test::readBytes(image, (base + run[0].get<uint64_t>()) * unit, run[1].get<uint64_t>() * unit);
        original.insert(original.end(), bytes.begin(), bytes.end());
    }
    original.resize((*file)["fileSize"]);
    const auto manifest = test::readManifest(fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / "fat16.manifest");
    const auto listed = std::find_if(manifest.begin(), manifest.end(),
                                     [](const auto& entry) { return entry.path == "/fragmented.bin"; });
    ASSERT_NE(listed, manifest.end());
    test::writeFile(scratch / "original", original);
    ASSERT_EQ(test::sha256Of(scratch / "original"), listed->sha256);  // the runs are read right
    // Two sectors 3 KiB into the second run (file bytes 7168-8191), and eight in free space.
    const uint64_t badSector = (base + runs[1][0].get<uint64_t>()) * unit / 512 + 6;
    std::ofstream(scratch / "ranges") << badSector * 512 << " 1024\n" << 60000 * 512 << " 4096\n";

    BadSectorMount mount(image, scratch / "ranges", scratch / "mnt");
    if (!mount.whyNot().empty()) GTEST_SKIP() << mount.whyNot();
    const fs::path source = scratch / "mnt" / "fat16.img", out = scratch / "out";
    const auto run = test::runNorix({"recover", source.string(), "--out", out.string(), "--all"}, scratch.path());

    // Some files were saved only in part: not a full success.
    EXPECT_EQ(run.exitCode, 5) << run.err;
    const std::string sectors =
        "unreadable sectors " + std::to_string(badSector) + "-" + std::to_string(badSector + 1) + ", 60000-60007";
    EXPECT_NE(run.err.find(sectors + "\n"), std::string::npos) << run.err;
    EXPECT_NE(test::readText(home.dataFolder() / "Core.txt").find(sectors), std::string::npos);

    const fs::path existing = out / "fat16.img" / "Quick Scan" / "Existing Files";
    std::vector<uint8_t> expected = original;
    std::fill(expected.begin() + 7168, expected.begin() + 8192, 0);
    EXPECT_EQ(test::readFile(existing / "fragmented.bin"), expected);
    EXPECT_NE(run.err.find("Saved in part: " + (existing / "fragmented.bin").string() + " (bytes 7168-8191 lost)\n"),
              std::string::npos)
        << run.err;
    for (const auto& entry : manifest) {
        if (entry.deleted || entry.path == "/fragmented.bin") continue;
        EXPECT_EQ(test::sha256Of(existing / fs::path(entry.path).relative_path()), entry.sha256) << entry.path;
    }
}

}  // namespace
}  // namespace norix
