// norix scan over hostile images (tools/make-hostile-images.sh: loops in chains and
// links, records outside the volume, counts of 2^32-1, files claiming gigabytes, a
// 1 TiB device): each scan ends on its own within a generous time and memory bound,
// prints a valid tree and still lists what is left to list.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

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
        const bool stopped = types == "Q^C";
        for (const char type : stopped ? std::string("Q") : types) {
            SCOPED_TRACE(image + " " + type);
            const test::NorixRun run =
                test::runNorixWatched({"scan", (folder / image).string(), "--type", std::string(1, type), "--json"},
                                      scratch.path(), stopped ? "Quick scan completed" : "", kTimeBound);
            ASSERT_EQ(run.exitCode, stopped ? 130 : 0) << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
            EXPECT_LT(run.peakKiB, kMemoryBoundKiB);
            const auto tree = nlohmann::json::parse(run.out, nullptr, false);
            ASSERT_FALSE(tree.is_discarded()) << run.out.substr(0, 2000);
            EXPECT_TRUE(listed == "-" || lists(tree, listed)) << listed;
            std::printf("%-32s %c  %6lld ms  %6ld MiB\n", image.c_str(), type, static_cast<long long>(run.took.count()),
                        run.peakKiB / 1024);
            ++scans;
        }
    }
    EXPECT_EQ(scans, 20u);
}

}  // namespace
}  // namespace norix
