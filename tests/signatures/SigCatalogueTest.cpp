// The file-type catalogue in a temporary home: the add form's checks in their order and
// its largest accepted values, tick states, and catalogue files that cannot be read or
// written. Adding, ticking and removing through the command line is tested there.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <typeinfo>
#include <unistd.h>

#include "signatures/OtherFileCheck.h"
#include "signatures/SigCatalogue.h"
#include "signatures/SignatureCheck.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

SigNode* category(const SigCatalogue& catalogue, const std::string& name) {
    for (const auto& node : catalogue.root()->children)
        if (node->category == name) return node.get();
    return nullptr;
}

class SigCatalogueTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(catalogue.loadSig()); }

    SigCatalogue reloaded() const {
        SigCatalogue again;
        EXPECT_FALSE(again.loadSig());
        return again;
    }

    test::TempHome home;
    SigCatalogue catalogue;
};

// --- the add form ---

// Each form fails its own check and every later one it can: the message shown must be the
// earliest, and nothing changes. Eight header bytes and offset 512 are the largest accepted.
TEST_F(SigCatalogueTest, ARefusedFormShowsItsFirstFailedCheckAndAFailedWriteIsReportedAndChangesNothing) {
    const auto before = test::readFile(SigCatalogue::catalogueFilePath());
    using Case = std::pair<NewSigForm, std::string>;  // category, type, extension, signature, offset, maximum size
    for (auto [form, message] : {
             Case{{"C", "T", "", "zz", "x", ""}, "Please input the extension name for the file type"},
             Case{{"C", "T", ".e", "zz", "x", "0"}, "Maximum File Size to recover cannot be nil"},
             Case{{"C", "T", ".e", "zz", "x", "5"}, "Please remove dot \".\" from the beginning of the extension"},
             Case{{"C", "T", "e", "00 11 22 33 44 55 66 77 88", "x", "5"},
                  "Incorrect signature: enter only a maximum of 8 bytes"},
             Case{{"Photos", "JPEG Image", "e", "CAFE", "513", "5"}, "Offset cannot be more then 512"},
             // Leading zero bytes do not change the header number.
             Case{{"Mine", "JPEG Image", "e", "00 FF D8 FF", "0", "5"},
                  "This signature/offset pair already exists in file type \"JPEG Image\" under category \"Photos\"."},
         }) {
        EXPECT_EQ(catalogue.addNewSigOKClicked(form), message);
    }
    EXPECT_EQ(catalogue.root()->children.size(), reloaded().root()->children.size());

    // A good form whose file cannot be written (a folder where the temporary file would
    // go makes every write fail, even as root) is reported, and the old file stays.
    fs::create_directory(SigCatalogue::catalogueFilePath() + ".tmp." + std::to_string(getpid()));
    NewSigForm form{"My Types", "Thing", "thg", "CAFEBABE", "0", "5", "MB"};
    EXPECT_EQ(catalogue.addNewSigOKClicked(form), "Failed Signature");
    EXPECT_EQ(test::readFile(SigCatalogue::catalogueFilePath()), before);
}

// The largest accepted values: eight header bytes and offset 512; the size is kept in MiB,
// rounded up.
TEST_F(SigCatalogueTest, AcceptedFormsAddUntickedUserTypesThatSurviveAReload) {
    using Form = std::tuple<const char*, const char*, const char*, const char*, const char*>;
    for (const auto& [ext, signature, offset, size, unit] :
         {Form{"th1", "0123456789abcdef", "0", "5", "MB"}, Form{"th2", "CA FE BA BE", "512", "5", "MB"},
          Form{"th3", "CAFEBABF", "0", "1500", "KB"}}) {
        NewSigForm form{"My Types", std::string("Thing ") + ext, ext, signature, offset, size, unit};
        ASSERT_EQ(catalogue.addNewSigOKClicked(form), std::nullopt) << ext;
    }
    const SigCatalogue again = reloaded();
    const SigNode* mine = category(again, "My Types");
    ASSERT_NE(mine, nullptr);
    ASSERT_EQ(mine->children.size(), 3u);
    using Stored = std::tuple<std::string, uint8_t, uint64_t, uint16_t, uint32_t>;
    const Stored expected[] = {{"th1", 8, 0x0123456789ABCDEF, 0, 5}, {"th2", 4, 0xCAFEBABE, 512, 5},
                               {"th3", 4, 0xCAFEBABF, 0, 2}};
    for (size_t i = 0; i < 3; ++i) {
        const Sig& sig = *mine->children[i]->sig;
        EXPECT_EQ(Stored(sig.extension, sig.headerLength, sig.header, sig.offset, sig.defaultSize), expected[i]);
        EXPECT_FALSE(sig.preInstalled);
        EXPECT_NE(std::ranges::find(again.others, sig.extension), again.others.end());
    }
    EXPECT_EQ(mine->selected, 0);
    // A new category comes last, among the "others".
    EXPECT_EQ(again.root()->children.back()->category, "My Types");

    // Ticked, they are checked in their order by the user-type checker only.
    for (const char* ext : {"th1", "th3"}) catalogue.setTicked(catalogue.checkForFileTypeExists(ext), true);
    const auto table = catalogue.makeSelectedSigArray();
    ASSERT_EQ(table.other.size(), 2u);
    EXPECT_EQ(table.other[0]->parentKey(), "th1");
    EXPECT_EQ(table.other[1]->parentKey(), "th3");
    EXPECT_EQ(table.byExtension.count("th1"), 0u);
}

// --- the shipped catalogue and its tick states ---

TEST_F(SigCatalogueTest, ShippedTypesAreTickedHaveTheirOwnCheckersAndTickStatesSurviveAReload) {
    const auto selected = catalogue.selectedSigArray;
    EXPECT_TRUE(selected.other.empty());
    for (const auto& group : catalogue.root()->children) {
        EXPECT_TRUE(group->containsPreInstalledChildren || group->children.empty()) << group->category;
        for (const auto& type : group->children) {
            const Sig& sig = *type->sig;
            EXPECT_TRUE(sig.preInstalled) << sig.extension;
            EXPECT_EQ(type->selected, 2) << sig.extension;
            const auto checker = selected.byExtension.find(sig.extension);
            ASSERT_NE(checker, selected.byExtension.end()) << sig.extension;
            EXPECT_FALSE(std::dynamic_pointer_cast<OtherFileCheck>(checker->second)) << sig.extension;
        }
    }
    EXPECT_EQ(selected.byExtension.size(), 32u);
    // Each thread of the sweep sizes files with a copy of its own, of the same type.
    const auto copy = selected.clone();
    for (const auto& [extension, checker] : selected.byExtension) {
        const Checker& own = *copy.byExtension.at(extension);
        EXPECT_NE(&own, checker.get()) << extension;
        EXPECT_EQ(typeid(own), typeid(*checker)) << extension;
    }

    // Tick states propagate and survive a reload.
    SigNode* root = catalogue.root();
    catalogue.setTicked(catalogue.checkForFileTypeExists("png"), false);
    EXPECT_EQ(category(catalogue, "Photos")->selected, 1);

    // Clicking a partly ticked group unticks all of it; clicking again ticks all.
    catalogue.sigCheckClicked(root);
    EXPECT_TRUE(root->isAllUnChecked());
    EXPECT_EQ(catalogue.checkForFileTypeExists("mp3")->selected, 0);
    catalogue.sigCheckClicked(root);
    EXPECT_EQ(root->selected, 2);
    EXPECT_EQ(catalogue.checkForFileTypeExists("png")->selected, 2);

    catalogue.setTicked(catalogue.checkForFileTypeExists("gif"), false);
    ASSERT_FALSE(catalogue.applyClicked());
    EXPECT_EQ(catalogue.selectedSigArray.byExtension.count("gif"), 0u);
    EXPECT_EQ(catalogue.selectedSigArray.byExtension.count("png"), 1u);
    const SigCatalogue again = reloaded();
    EXPECT_EQ(again.checkForFileTypeExists("gif")->selected, 0);
    EXPECT_EQ(category(again, "Photos")->selected, 1);
}

// --- a catalogue file that cannot be read ---

std::vector<uint8_t> replaced(const std::vector<uint8_t>& saved, const std::string& from, const std::string& to) {
    std::string text(saved.begin(), saved.end());
    text.replace(text.find(from), from.size(), to);
    return {text.begin(), text.end()};
}

// Well-formed files the catalogue cannot hold: a header longer than 8 bytes, a type without
// its signature.
TEST(BadCatalogue, IsKeptAsideAndReplacedByTheShippedCatalogue) {
    for (const auto& [from, to] : {std::pair{"\"headerLength\": 8", "\"headerLength\": 9"}, {"\"sig\"", "\"gis\""}}) {
        SCOPED_TRACE(to);
        test::TempHome home;
        ASSERT_FALSE(SigCatalogue().loadSig());
        const fs::path file = SigCatalogue::catalogueFilePath();
        const auto shipped = test::readFile(file);
        const auto bad = replaced(shipped, from, to);
        test::writeFile(file, bad);

        SigCatalogue catalogue;
        const auto report = catalogue.loadSig();
        ASSERT_TRUE(report);
        EXPECT_NE(report->find("Sig_AL.dat.bad"), std::string::npos) << *report;
        EXPECT_EQ(test::readFile(file.string() + ".bad"), bad);
        EXPECT_EQ(test::readFile(file), shipped);
        EXPECT_NE(catalogue.checkForFileTypeExists("jpg"), nullptr);
        EXPECT_FALSE(SigCatalogue().loadSig());
    }
}

}  // namespace
}  // namespace norix
