// norix scan --session, session, search, recover FILE.nxdrs and the print filters.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::NorixRun;

constexpr auto norix = &test::runNorix;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

// Every file of a printed JSON tree: its path and name, size and deleted mark.
void files(const nlohmann::json& node, std::vector<const nlohmann::json*>& out) {
    if (node["fileType"] == 2) out.push_back(&node);
    for (const auto& child : node["children"]) files(child, out);
}

class SessionCommands : public ::testing::Test {
protected:
    // A copy of the image in the scratch folder, scanned with --session; the session's path.
    fs::path scanToSession(const fs::path& original, const std::string& name) {
        image = scratch / name;
        fs::copy_file(original, image);
        const fs::path session = scratch / (name + ".nxdrs");
        const NorixRun run = norix({"scan", image.string(), "--json", "--session", session.string()}, scratch.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        scanned = nlohmann::json::parse(run.out);
        return session;
    }

    test::TempHome home;
    test::TempDir scratch;
    fs::path image;
    nlohmann::json scanned;
};

// The session prints the tree of its scan, the root's children given "/" and the root's
// name as their path.
void expectPrintsItsScan(const fs::path& session, const fs::path& image, const nlohmann::json& scanned,
                         const fs::path& scratch) {
    const NorixRun run = norix({"session", session.string(), "--json"}, scratch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Recovery Session Loaded: " + image.string() + " (scan completed)"), std::string::npos);
    nlohmann::json expected = scanned;
    for (auto& child : expected["children"]) child["path"] = "/" + child["path"].get<std::string>();
    EXPECT_EQ(nlohmann::json::parse(run.out), expected);
}

TEST_F(SessionCommands, ASessionPrintsItsScanAndRecoversWithNoScanButItsDevice) {
    const fs::path fixture = test::fixtureFolder("make-fat32-fixture.sh");
    const fs::path session = scanToSession(fixture / "fat32-volume.img", "fat.img");
    expectPrintsItsScan(session, image, scanned, scratch.path());
    const fs::path out = scratch / "out";
    const NorixRun run = norix({"recover", session.string(), "--out", out.string(), "--path", "Documents", "--force"},
                          scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("Scan completed"), std::string::npos) << run.err;
    size_t compared = 0;
    for (const auto& file : test::readManifest(fixture / "fat32.manifest")) {
        if (file.deleted || !file.path.starts_with("/Documents/")) continue;
        const fs::path saved = out / "fat.img" / "Quick Scan" / "Existing Files" / file.path.substr(1);
        EXPECT_EQ(test::sha256Of(saved), file.sha256) << file.path;
        ++compared;
    }
    EXPECT_EQ(compared, 5u);

    // Without its image the session cannot be saved from.
    fs::rename(image, scratch / "moved.img");
    const NorixRun gone = norix({"recover", session.string(), "--out", (scratch / "out2").string(), "--all", "--force"},
                           scratch.path());
    EXPECT_EQ(gone.exitCode, 3);
    EXPECT_NE(gone.err.find("Please check the desired disk is connected or not"), std::string::npos) << gone.err;
    EXPECT_FALSE(fs::exists(scratch / "out2"));
}

TEST_F(SessionCommands, ASessionPrintsItsScanSearchAndFiltersChooseTheListedFilesAndDamageIsReported) {
    const fs::path session = scanToSession(test::sampleImage(), "sample.img");
    expectPrintsItsScan(session, image, scanned, scratch.path());
    std::vector<const nlohmann::json*> all;
    files(scanned, all);
    const auto printed = [&](const std::vector<std::string>& filter) {
        std::vector<std::string> args{"session", session.string(), "--json"};
        args.insert(args.end(), filter.begin(), filter.end());
        const NorixRun run = norix(args, scratch.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::vector<const nlohmann::json*> shown;
        const auto tree = nlohmann::json::parse(run.out);
        files(tree, shown);
        std::multiset<std::string> names;
        for (const auto* file : shown) names.insert((*file)["name"].get<std::string>());
        return names;
    };
    const auto expected = [&](auto keep) {
        std::multiset<std::string> names;
        for (const auto* file : all)
            if (keep(*file)) names.insert((*file)["name"].get<std::string>());
        return names;
    };
    const auto extension = [](const nlohmann::json& file) {
        const std::string name = file["name"];
        std::string ext = name.substr(name.rfind('.') + 1);
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return ext;
    };
    EXPECT_EQ(printed({"--filter", "Images"}), expected([&](const auto& f) { return extension(f) == "png"; }));
    EXPECT_EQ(printed({"--filter", "Document"}), expected([&](const auto& f) { return extension(f) == "txt"; }));
    EXPECT_EQ(printed({"--deleted"}), expected([](const auto& f) { return f["deleted"] == true; }));
    EXPECT_EQ(printed({"--existing", "--filter", "Images"}),
              expected([&](const auto& f) { return f["deleted"] == false && extension(f) == "png"; }));

    // The size window leaves out its lower edge and keeps its upper one.
    const uint64_t edge = (*all.front())["fileSize"];
    EXPECT_EQ(printed({"--min-size", std::to_string(edge)}),
              expected([&](const auto& f) { return f["fileSize"].template get<uint64_t>() > edge; }));
    EXPECT_EQ(printed({"--max-size", "1KB"}), expected([&](const auto& f) {
                  return f["fileSize"].template get<uint64_t>() > 0 && f["fileSize"].template get<uint64_t>() <= 1024;
              }));

    const NorixRun wrong = norix({"session", session.string(), "--min-size", "10", "--max-size", "5"}, scratch.path());
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("Maximum size cannot be smaller than minimum size."), std::string::npos) << wrong.err;

    // Search lists matches with their paths, from the source or the session.
    const std::vector<std::string> pictures{"sample.img/Quick Scan/Existing Files/DCIM/100NORIX/IMG_0001.PNG",
                                            "sample.img/Quick Scan/Existing Files/DCIM/100NORIX/ MG_0002.PNG",
                                            "sample.img/Quick Scan/Existing Files/DCIM/100NORIX/IMG_0003.PNG"};
    for (const fs::path& source : {image, session}) {
        const NorixRun run = norix({"search", source.string(), "mG_000"}, scratch.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(lines(run.out), pictures);
        EXPECT_NE(run.err.find("3 found"), std::string::npos) << run.err;
    }
    const NorixRun folders = norix({"search", session.string(), "100norix"}, scratch.path());
    EXPECT_EQ(lines(folders.out), (std::vector<std::string>{"sample.img/Quick Scan/Existing Files/DCIM/100NORIX/"}));
    const NorixRun deleted = norix({"search", session.string(), "mg_000", "--deleted"}, scratch.path());
    EXPECT_EQ(lines(deleted.out), (std::vector<std::string>{pictures[1]}));

    // A damaged, a missing and a foreign session are reported.
    auto bytes = test::readFile(session);
    const fs::path cut = scratch / "cut.nxdrs";
    test::writeFile(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2)));
    const NorixRun partial = norix({"session", cut.string()}, scratch.path());
    EXPECT_EQ(partial.exitCode, 4);
    EXPECT_NE(partial.out.find("  Quick Scan/"), std::string::npos) << partial.out;
    EXPECT_NE(partial.err.find("cut short"), std::string::npos) << partial.err;
    // Saving from it saves what could be read and still reports the damage.
    const NorixRun saved =
        norix({"recover", cut.string(), "--out", (scratch / "out").string(), "--all"}, scratch.path());
    EXPECT_EQ(saved.exitCode, 4) << saved.err;
    EXPECT_TRUE(fs::exists(scratch / "out" / "sample.img" / "Quick Scan" / "Existing Files" / "Documents" / "notes.txt"));

    const NorixRun missing = norix({"session", (scratch / "none.nxdrs").string()}, scratch.path());
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find("File not found at path :"), std::string::npos) << missing.err;

    const NorixRun foreign = norix({"session", image.string()}, scratch.path());
    EXPECT_EQ(foreign.exitCode, 3);
    EXPECT_NE(foreign.err.find("Not a recovery session"), std::string::npos) << foreign.err;
    EXPECT_TRUE(foreign.out.empty());
}

}  // namespace
}  // namespace norix
