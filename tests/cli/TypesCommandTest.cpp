// norix types, and --types on scan: what the user's catalogue file holds afterwards.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using Outcome = test::NorixRun;

class TypesCommand : public testing::Test {
protected:
    Outcome norix(const std::vector<std::string>& args) const { return test::runNorix(args, scratch.path()); }

    // The listed type of this extension, from `norix types --json`.
    nlohmann::json listed(const std::string& extension, std::string* category = nullptr) const {
        const Outcome run = norix({"types", "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const auto& group : nlohmann::json::parse(run.out))
            for (const auto& type : group["types"])
                if (type["extension"] == extension) {
                    if (category) *category = group["category"];
                    return type;
                }
        return nullptr;
    }

    fs::path catalogueFile() const { return home.dataFolder() / "Sig_AL.dat"; }

    test::TempHome home;
    test::TempDir scratch;
};

TEST_F(TypesCommand, AddTicksAndRemovesAUserTypeInTheUsersFile) {
    const Outcome add = norix({"types", "add", "--category", "Mine", "--name", "Thing", "--ext", "thg", "--signature",
                               "CA FE BA BE", "--offset", "0", "--max-size", "5"});
    ASSERT_EQ(add.exitCode, 0) << add.err;
    std::string category;
    auto type = listed("thg", &category);
    ASSERT_FALSE(type.is_null());
    EXPECT_EQ(category, "Mine");
    EXPECT_EQ(type["signature"], "cafebabe");
    EXPECT_EQ(type["selected"], 0);
    EXPECT_EQ(type["preInstalled"], false);

    ASSERT_EQ(norix({"types", "select", "thg"}).exitCode, 0);
    EXPECT_EQ(listed("thg")["selected"], 2);
    ASSERT_EQ(norix({"types", "unselect", "jpg", "png"}).exitCode, 0);
    EXPECT_EQ(listed("jpg")["selected"], 0);

    ASSERT_EQ(norix({"types", "remove", "thg"}).exitCode, 0);
    EXPECT_TRUE(listed("thg").is_null());
    EXPECT_EQ(test::readText(catalogueFile()).find("\"Mine\""), std::string::npos);
}

TEST_F(TypesCommand, ACorruptCatalogueIsKeptAsideAndARefusedFormLeavesTheFileAlone) {
    fs::create_directories(home.dataFolder());
    test::writeFile(catalogueFile(), {'{', '"', 'x'});
    const Outcome list = norix({"types"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.err.find("Sig_AL.dat.bad"), std::string::npos) << list.err;
    EXPECT_EQ(test::readFile(home.dataFolder() / "Sig_AL.dat.bad"), (std::vector<uint8_t>{'{', '"', 'x'}));
    EXPECT_NE(list.out.find("[x] jpg"), std::string::npos);

    const auto before = test::readFile(catalogueFile());
    const Outcome run = norix({"types", "add", "--category", "Mine", "--name", "Thing", "--ext", "thg", "--signature",
                               "CAFEBABE", "--max-size", "5"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "norix: Please input the offset name for the file type\n");
    EXPECT_EQ(test::readFile(catalogueFile()), before);

    const fs::path sample = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / "tags" / "plain.jpg";
    const Outcome same = norix({"types", "from-file", sample.string()});
    EXPECT_EQ(same.exitCode, 2);
    EXPECT_EQ(same.err, "norix: Same File Type already exist.\n");
}

TEST_F(TypesCommand, FromFileAddsTheSamplesHeaderAndAnExtensionNoTypeHasIsRefused) {
    const fs::path sample = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / "tags" / "memo.odt";
    const Outcome run = norix({"types", "from-file", sample.string(), "--category", "Documents", "--name", "ODF Text"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto type = listed("odt");
    ASSERT_FALSE(type.is_null());
    EXPECT_EQ(type["signature"].get<std::string>().substr(0, 8), "504b0304");
    EXPECT_EQ(type["defaultSize"], 3);

    const Outcome scan = norix({"scan", test::sampleImage().string(), "--types", "jpg,nosuch"});
    EXPECT_EQ(scan.exitCode, 2);
    EXPECT_NE(scan.err.find("no file type has the extension nosuch"), std::string::npos) << scan.err;
    EXPECT_EQ(norix({"types", "select", "nosuch"}).exitCode, 2);
}

}  // namespace
}  // namespace norix
