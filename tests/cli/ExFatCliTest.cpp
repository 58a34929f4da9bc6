// norix scan and norix recover on an exFAT volume image (tools/make-exfat-scan-fixture.sh):
// the file system is recognised from the image itself, and every file comes back
// byte-exact in its folders.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

// Runs norix with the arguments; answers its exit code, its output in out.
int norix(const std::vector<std::string>& args, const fs::path& scratch, std::string& out) {
    auto run = test::runNorix(args, scratch);
    out += run.out;
    return run.exitCode;
}

TEST(ExFatCli, ScanRecognisesTheVolumeAndRecoverSavesEveryFileByteExact) {
    test::TempHome home;
    test::TempDir scratch;
    const fs::path fixtures = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures";
    const fs::path image = scratch / "card.img";
    const std::string unpack =
        "zstd -q -d -f -o '" + image.string() + "' '" + (fixtures / "exfat-scan-16k.img.zst").string() + "'";
    ASSERT_EQ(std::system(unpack.c_str()), 0);

    std::string json;
    ASSERT_EQ(norix({"scan", image.string(), "--json"}, scratch.path(), json), 0)
        << test::readText(scratch / "stderr.txt");
    const auto tree = nlohmann::json::parse(json);
    EXPECT_EQ(tree["entry"], 2);
    EXPECT_EQ(tree["children"][0]["name"], "Quick Scan");

    std::string printed;
    const fs::path out = scratch / "out";
    ASSERT_EQ(norix({"recover", image.string(), "--out", out.string(), "--all", "--force"}, scratch.path(), printed), 0)
        << test::readText(scratch / "stderr.txt");
    const fs::path quick = out / "card.img" / "Quick Scan";
    size_t compared = 0;
    for (const auto& file : test::readManifest(fixtures / "exfat-scan-16k.manifest")) {
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

}  // namespace
}  // namespace norix
