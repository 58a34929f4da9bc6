// norix scan and norix recover on exFAT, HFS+ and APFS volume images
// (tools/make-exfat-scan-fixture.sh, tools/make-hfs-fixture.sh, tools/make-apfs-fixture.sh): the file system is recognised from the image itself, the
// quick scan lists it, and every exFAT file comes back byte-exact in its folders.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

class VolumeCli : public ::testing::Test {
protected:
    test::TempHome home;
    test::TempDir scratch;
};

TEST_F(VolumeCli, ExFatScanRecognisesTheVolumeAndRecoverSavesEveryFileByteExact) {
    const fs::path image = test::unpackFixture("exfat-scan-16k", scratch / "card.img");
    const auto scan = test::runNorix({"scan", image.string(), "--json"}, scratch.path());
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    const auto tree = nlohmann::json::parse(scan.out);
    EXPECT_EQ(tree["entry"], 2);
    EXPECT_EQ(tree["children"][0]["name"], "Quick Scan");

    const fs::path out = scratch / "out";
    const auto recover = test::runNorix({"recover", image.string(), "--out", out.string(), "--all", "--force"},
                                        scratch.path());
    ASSERT_EQ(recover.exitCode, 0) << recover.err;
    const fs::path quick = out / "card.img" / "Quick Scan";
    size_t compared = 0;
    for (const auto& file : test::readManifest(fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / "exfat-scan-16k.manifest")) {
        if (file.deleted && !file.intact) continue;
        // A deleted file inside a folder that still exists stays in that folder.
        fs::path saved = quick / "Existing Files" / file.path.substr(1);
        if (file.deleted && !fs::exists(saved)) saved = quick / "Deleted Files" / file.path.substr(1);
        ASSERT_TRUE(fs::exists(saved)) << file.path;
        EXPECT_EQ(test::sha256Of(saved), file.sha256) << file.path;
        ++compared;
    }
    EXPECT_GT(compared, 190u);
}

TEST_F(VolumeCli, HfsScanDefaultsToTheQuickScanAndListsTheCatalog) {
    const fs::path image = test::unpackFixture("hfs-512", scratch / "mac.img");
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

TEST(ApfsCli, ScanDefaultsToTheQuickScanAndListsTheVolume) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path image = test::unpackFixture("apfs", scratch / "mac.img");
    const auto run = test::runNorix({"scan", image.string(), "--json"}, scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto tree = nlohmann::json::parse(run.out);
    EXPECT_EQ(tree["entry"], 4);
    ASSERT_EQ(tree["children"][0]["name"], "Quick Scan");
    const auto names = tree["children"][0]["children"][0]["children"].dump();
    for (const char* name : {"Photos", "Documents", "Fill", "fragmented.bin", "rewritten.txt"})
        EXPECT_NE(names.find(std::string("\"") + name + "\""), std::string::npos) << name;
}

}  // namespace
}  // namespace norix
