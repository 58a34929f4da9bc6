// norix scan on an HFS+ volume image (tools/make-hfs-fixture.sh): the file system is
// recognised from the image itself and its catalog listed by the quick scan.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

TEST(HfsCli, ScanDefaultsToTheQuickScanAndListsTheCatalog) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path image = scratch / "mac.img";
    const fs::path packed = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / "hfs-512.img.zst";
    const std::string unpack = "zstd -q -d -f -o '" + image.string() + "' '" + packed.string() + "'";
    ASSERT_EQ(std::system(unpack.c_str()), 0);

    const auto run = test::runNorix({"scan", image.string(), "--json"}, scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto tree = nlohmann::json::parse(run.out);
    EXPECT_EQ(tree["entry"], 3);
    ASSERT_EQ(tree["children"][0]["name"], "Quick Scan");
    const auto& existing = tree["children"][0]["children"][0];
    ASSERT_EQ(existing["name"], "Existing Files");
    const auto names = existing["children"].dump();
    for (const char* name : {"Photos", "Documents", "Fill", "fragmented.bin"})
        EXPECT_NE(names.find(std::string("\"") + name + "\""), std::string::npos) << name;
}

}  // namespace
}  // namespace norix
