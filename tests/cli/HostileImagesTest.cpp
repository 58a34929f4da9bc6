// norix scan over hostile images (tools/make-hostile-images.sh: loops in chains and
// links, records outside the volume, counts of 2^32-1, files claiming gigabytes, a
// 1 TiB device): each scan ends on its own within a generous time and memory bound,
// prints a valid tree and still lists what is left to list.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "tests/cli/RunNorix.h"

namespace norix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kTimeBound = 30s;
constexpr long kMemoryBoundKiB = 1 << 20;

bool lists(const nlohmann::json& node, const std::string& name) {
    if (node.value("fileType", 1) != 1 && node.value("name", "") == name) return true;
    for (const auto& child : node.value("children", nlohmann::json::array()))
        if (lists(child, name)) return true;
    return false;
}

TEST(HostileImages, EveryScanEndsWithinBoundsPrintsAValidTreeAndListsWhatIsLeft) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path folder = test::fixtureFolder("make-hostile-images.sh");
    std::ifstream expected(folder / "expected");
    size_t scans = 0;
    for (std::string image, types, listed; std::getline(expected, image, '\t') && std::getline(expected, types, '\t') &&
                                           std::getline(expected, listed);) {
        std::istringstream scansOf(types);
        for (std::string scan; scansOf >> scan;) {
            SCOPED_TRACE(image + " " + scan);
            const bool stopped = scan == "Q^C";
            const test::NorixRun run =
                test::runNorixWatched({"scan", (folder / image).string(), "--type", scan.substr(0, 1), "--json"},
                                      scratch.path(), stopped ? "Quick scan completed" : "", kTimeBound);
            ASSERT_EQ(run.exitCode, stopped ? 130 : 0) << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
            EXPECT_LT(run.peakKiB, kMemoryBoundKiB);
            const auto tree = nlohmann::json::parse(run.out, nullptr, false);
            ASSERT_FALSE(tree.is_discarded()) << run.out.substr(0, 2000);
            EXPECT_TRUE(lists(tree, listed)) << listed;
            std::printf("%-32s %-3s  %6lld ms  %6ld MiB\n", image.c_str(), scan.c_str(),
                        static_cast<long long>(run.took.count()), run.peakKiB / 1024);
            ++scans;
        }
    }
    EXPECT_EQ(scans, 28u);
}

// A standing check of the whole command under damaged metadata: seeded runs each flip a
// few bytes in the boot sectors, tables and folders of a fixture and scan the copy.
// Any crash, sanitizer report, hang or invalid tree fails, and the copy is kept in
// the build folder (byte-flips/) to become a fuzz seed.
TEST(HostileImages, ScansOfFixturesWithBytesFlippedInTheirMetadataNeverCrashHangOrPrintBadJson) {
    test::TempHome home;
    test::TempDir scratch;
    struct Area {
        uint64_t offset, length;
    };
    const std::vector<std::pair<std::string, std::vector<Area>>> fixtures{
        {"fat12-floppy", {{0, 32 << 10}}},
        {"fat16", {{0, 128 << 10}}},
        {"exfat-scan-4k", {{0, 12 << 10}, {2 << 20, 64 << 10}}},  // boot region; root and folders
        {"hfs-512", {{1024, 512}, {69120, 64 << 10}}},            // volume header; catalog
    };
    constexpr int kRunsEach = 50;
    const fs::path kept = fs::path(NORIX_BINARY_DIR) / "byte-flips";
    for (const auto& [name, areas] : fixtures) {
        const auto pristine = test::readFile(test::unpackFixture(name, scratch / "pristine.img"));
        for (int seed = 0; seed < kRunsEach; ++seed) {
            std::mt19937_64 random(seed);
            auto bytes = pristine;
            for (int flip = 0; flip < 4; ++flip) {
                const Area& area = areas[random() % areas.size()];
                bytes[area.offset + random() % area.length] ^= static_cast<uint8_t>(1 + random() % 255);
            }
            const fs::path image = scratch / (name + "-" + std::to_string(seed) + ".img");
            test::writeFile(image, bytes);
            const auto run = test::runNorixWatched({"scan", image.string(), "--json"}, scratch.path(), "", kTimeBound);
            const bool sound = run.exitCode == 0 && run.err.find("Sanitizer") == std::string::npos &&
                               run.err.find("runtime error") == std::string::npos &&
                               !nlohmann::json::parse(run.out, nullptr, false).is_discarded();
            EXPECT_TRUE(sound) << image.filename() << " exit " << run.exitCode << "\n" << run.err;
            if (sound) {
                fs::remove(image);
            } else {
                fs::create_directories(kept);
                fs::copy_file(image, kept / image.filename(), fs::copy_options::overwrite_existing);
            }
        }
    }
}

}  // namespace
}  // namespace norix
