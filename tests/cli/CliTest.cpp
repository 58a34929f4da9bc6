// The norix command: exit codes, messages and output of drives and scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "disk/DiskArbitrator.h"
#include "tests/cli/RunNorix.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::NorixRun;
using test::runNorix;

class Cli : public ::testing::Test {
protected:
    test::TempHome home;
    test::TempDir scratch;
};

// Usage errors exit with 2 and say what is wrong in one line; sources that cannot be
// opened exit with 3 and say why.
TEST_F(Cli, UsageErrorsAndSourcesThatCannotBeOpenedSayWhatIsWrongAndExitWithTheirCodes) {
    const fs::path empty = scratch / "empty.img", fifo = scratch / "fifo";
    test::writeFile(empty, {});
    mkfifo(fifo.c_str(), 0600);  // opening it must not hang
    using Case = std::tuple<std::vector<std::string>, int, std::string>;
    for (const auto& [args, code, words] : std::vector<Case>{
             {{}, 2, "command is missing"},
             {{"frobnicate"}, 2, "unknown command"},
             {{"scan", "a", "b"}, 2, "only one SOURCE"},
             {{"scan", "x.img", "--type", "X"}, 2, "--type takes Q or D"},
             {{"scan", "x.img", "--types"}, 2, "--types takes"},
             {{"scan", "x.img", "--threads", "0"}, 2, "--threads takes a number of threads from 1 to 1024, not 0"},
             {{"scan", "x.img", "--threads", "2x"}, 2, "not 2x"},
             {{"scan", "x.img", "--threads"}, 2, "--threads takes"},
             {{"scan", "x.img", "--session"}, 2, "--session takes a FILE"},
             {{"recover", "x.img", "--all", "--out"}, 2, "--out takes a folder"},
             {{"recover", "x.img", "--out", "d", "--on-collision", "ask"}, 2, "rename or skip"},
             {{"types", "add", "--name"}, 2, "--name takes"},
             {{"session", "--min-size"}, 2, "--min-size takes"},
             {{"scan", (scratch / "missing.img").string()}, 3, "No such file"},
             {{"scan", scratch.path().string()}, 3, "directory"},
             {{"scan", empty.string()}, 3, "empty"},
             {{"scan", fifo.string()}, 3, "Unable to open"}}) {
        const NorixRun run = runNorix(args, scratch.path());
        EXPECT_EQ(run.exitCode, code) << ::testing::PrintToString(args);
        EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
        if (code == 2) {
            EXPECT_TRUE(run.err.ends_with("\nsee norix help\n") && std::ranges::count(run.err, '\n') == 2) << run.err;
        }
    }
    EXPECT_EQ(runNorix({"--help"}, scratch.path()).exitCode, 0);
}

TEST_F(Cli, ScanPrintsTheTreeLeavesTheImageUntouchedAndIsDeepOnlyWithoutAFileSystem) {
    const fs::path image = scratch / "sample.img";
    fs::copy_file(test::sampleImage(), image);
    const auto before = test::readFile(image);
    struct stat st {};
    ASSERT_EQ(stat(image.c_str(), &st), 0);
    const auto modified = st.st_mtim;

    const NorixRun run = runNorix({"scan", image.string(), "--json"}, scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto tree = nlohmann::json::parse(run.out);
    EXPECT_EQ(tree["name"], "sample.img");
    EXPECT_EQ(tree["entry"], 1);
    ASSERT_EQ(tree["children"].size(), 2u);
    EXPECT_EQ(tree["children"][0]["name"], "Quick Scan");
    EXPECT_EQ(tree["children"][1]["name"], "Deep Scan");
    EXPECT_EQ(tree["children"][1]["children"][1]["path"], "sample.img/Deep Scan");
    EXPECT_NE(run.err.find("Scan completed"), std::string::npos);

    EXPECT_EQ(test::readFile(image), before);
    ASSERT_EQ(stat(image.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, modified.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, modified.tv_nsec);
    EXPECT_TRUE(fs::exists(home.dataFolder() / "Core.txt"));

    // Without a known file system the scan is deep only, unless asked for.
    const fs::path blank = scratch / "blank.img";
    test::writeFile(blank, std::vector<uint8_t>(1 << 20, 0x5A));
    const NorixRun deep = runNorix({"scan", blank.string()}, scratch.path());
    ASSERT_EQ(deep.exitCode, 0) << deep.err;
    EXPECT_EQ(deep.out.find("Quick Scan"), std::string::npos) << deep.out;
    EXPECT_NE(deep.out.find("  Deep Scan/"), std::string::npos) << deep.out;
    const NorixRun forced = runNorix({"scan", blank.string(), "--type", "Q"}, scratch.path());
    EXPECT_NE(forced.out.find("  Quick Scan/"), std::string::npos) << forced.out;

    // A file system the quick scan cannot read is named, and only swept even when asked for Q.
    const fs::path ext4 = scratch / "linux.img";
    const std::string make = "truncate -s 4M '" + ext4.string() + "' && mkfs.ext4 -q -F '" + ext4.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const NorixRun other = runNorix({"scan", ext4.string(), "--type", "Q"}, scratch.path());
    EXPECT_NE(other.err.find("ext4 volume: its files are not listed; the deep scan still finds files by their contents\n"),
              std::string::npos)
        << other.err;
    EXPECT_EQ(other.out.find("Quick Scan"), std::string::npos) << other.out;
}

// A FAT32 volume (mkfs.fat, mtools) with one file written 2024-06-01 12:30 UTC, whose long
// name then gets an ESC, a backslash and a line feed, which mtools refuses to write.
fs::path volumeWithHostileName(const fs::path& scratch) {
    const fs::path image = scratch / "hostile.img", file = scratch / "note.txt";
    test::writeFile(file, {'h', 'i', '\n'});
    const std::string cmd = "TZ=UTC touch -d '2024-06-01 12:30:00' '" + file.string() + "' && mkfs.fat -C -F 32 '" +
                            image.string() + "' 34000 >/dev/null && TZ=UTC MTOOLS_SKIP_CHECK=1 mcopy -m -i '" +
                            image.string() + "' '" + file.string() + "' '::aXbYc long name.txt'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const auto bytes = test::readFile(image);
    const std::vector<uint8_t> written{'a', 0, 'X', 0, 'b', 0, 'Y', 0, 'c', 0};
    const auto at = std::search(bytes.begin(), bytes.end(), written.begin(), written.end());
    EXPECT_NE(at, bytes.end());
    test::writeBytes(image, static_cast<uint64_t>(at - bytes.begin()), {'a', 0, 0x1b, 0, '\\', 0, '\n', 0, 'c', 0});
    return image;
}

TEST_F(Cli, NamesFromTheDiskAreEscapedAndJsonCarriesTheirDates) {
    const fs::path image = volumeWithHostileName(scratch.path());
    const std::string shown = "a\\x1b\\\\\\x0ac long name.txt";
    const NorixRun text = runNorix({"scan", image.string()}, scratch.path());
    EXPECT_NE(text.out.find("\n      " + shown + "  0.00 KB\n"), std::string::npos) << text.out;
    const NorixRun search = runNorix({"search", image.string(), "long name"}, scratch.path());
    EXPECT_NE(search.out.find("hostile.img/Quick Scan/Existing Files/" + shown + "\n"), std::string::npos)
        << search.out;

    const NorixRun json = runNorix({"scan", image.string(), "--json"}, scratch.path());
    for (const std::string& out : {text.out, search.out, json.out}) EXPECT_EQ(out.find('\x1b'), std::string::npos);
    const auto quickScan = nlohmann::json::parse(json.out)["children"][0];
    const auto file = quickScan["children"][0]["children"][0];
    EXPECT_EQ(file["name"], "a\x1b\\\nc long name.txt");
    EXPECT_EQ(file.value("modified", ""), "2024-06-01T12:30:00Z");
    EXPECT_EQ(file.value("created", ""), "2024-06-01T12:30:00Z");
    EXPECT_FALSE(quickScan.contains("modified"));
}

// Runs norix with its output in files, sends it Ctrl-C once it shows its progress, and
// collects what it did.
NorixRun interruptedNorix(const std::vector<std::string>& args, const fs::path& scratch) {
    return test::runNorixWatched(args, scratch, "Scanning", std::chrono::seconds(300));
}

TEST_F(Cli, CtrlCStopsAScanWith130AndRecoverThenSavesNothing) {
    // The sample volume at the start of a long (sparse) device: the sweep is still busy.
    const fs::path image = scratch / "long.img";
    fs::copy_file(test::sampleImage(), image);
    fs::resize_file(image, uint64_t{16} << 30);

    const NorixRun scan = interruptedNorix({"scan", image.string()}, scratch.path());
    EXPECT_EQ(scan.exitCode, 130) << scan.err;
    EXPECT_NE(scan.err.find("Scan stopped"), std::string::npos) << scan.err;
    EXPECT_NE(scan.out.find("\n  Deep Scan/"), std::string::npos) << scan.out;

    const fs::path saved = scratch / "saved";
    const NorixRun recover =
        interruptedNorix({"recover", image.string(), "--out", saved.string(), "--all", "--force"}, scratch.path());
    EXPECT_EQ(recover.exitCode, 130) << recover.err;
    EXPECT_TRUE(fs::is_empty(saved));  // made before the scan, and nothing saved into it
}

TEST(Drives, WithoutTheRightToReadADeviceItsKindAndLabelComeFromUdev) {
    test::TempDir root;
    const fs::path card = root / "class" / "norixsdy";
    fs::create_directories(card);
    std::ofstream(card / "size") << "2048\n";
    std::ofstream(card / "removable") << "1\n";
    std::ofstream(card / "dev") << "4094:1010\n";
    fs::create_directories(root / "udev");
    // No /dev/norixsdy here to probe: what udev recorded is all there is.
    std::ofstream(root / "udev" / "b4094:1010") << "S:disk/by-label/My_Card\nE:ID_FS_TYPE=vfat\n"
                                                  "E:ID_FS_LABEL=My_Card\nE:ID_FS_LABEL_ENC=My\\x20Card\\x5c\n";
    const auto manager = DiskArbitrator((root / "class").string(), (root / "udev").string()).getDiskManager();
    ASSERT_EQ(manager->totalDisk(), 1u);
    Disk& disk = *manager->getDiskAt(0);
    EXPECT_EQ(disk.getVolumeKind(), "msdos");
    EXPECT_EQ(disk.getVolumeName(), "My Card\\");
    EXPECT_TRUE(driveColumnsFor(disk).external);
}

TEST_F(Cli, DrivesListsTheThreeColumns) {
    const NorixRun run = runNorix({"drives", "--json"}, scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto columns = nlohmann::json::parse(run.out);
    for (const char* column : {"Select Drive", "External Drives", "Physical Disk"})
        EXPECT_TRUE(columns.contains(column)) << column;
}

// The file as mtools reads it from the image: an independent reader of the volume.
std::vector<uint8_t> mtoolsCopy(const fs::path& image, const std::string& path, const fs::path& scratch) {
    const fs::path out = scratch / "mtools-copy";
    const std::string cmd = "MTOOLS_SKIP_CHECK=1 mcopy -n -o -i '" + image.string() + "' '::" + path + "' '" +
                            out.string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return test::readFile(out);
}

TEST_F(Cli, RecoverSavesChosenFilesWithTheirFolders) {
    const fs::path image = test::sampleImage();
    // Beside the image on its own file system (no device to overwrite), in a folder
    // made with its parents.
    const fs::path out = scratch / "new" / "out";

    // A destination that cannot be made is refused before the scan.
    const NorixRun refused = runNorix({"recover", image.string(), "--out", "/dev/null/out", "--all"}, scratch.path());
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("cannot save into /dev/null/out"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("Scan"), std::string::npos) << refused.err;

    const NorixRun run = runNorix({"recover", image.string(), "--out", out.string(), "--path", "100norix"},
                                scratch.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const fs::path folder = out / "sample-fat32.img" / "Quick Scan" / "Existing Files" / "DCIM" / "100NORIX";
    EXPECT_EQ(test::readFile(folder / "IMG_0001.PNG"), mtoolsCopy(image, "/DCIM/100NORIX/IMG_0001.PNG", scratch.path()));
    EXPECT_EQ(test::readFile(folder / "IMG_0003.PNG"), mtoolsCopy(image, "/DCIM/100NORIX/IMG_0003.PNG", scratch.path()));
    EXPECT_FALSE(fs::exists(out / "sample-fat32.img" / "Quick Scan" / "Existing Files" / "Documents"));

    // Again into the same folder: every name is taken, so each file gets "name (1).ext".
    const NorixRun again = runNorix({"recover", image.string(), "--out", out.string(), "--path", "100norix"},
                                  scratch.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(fs::exists(folder / "IMG_0001 (1).PNG"));
    const NorixRun skipped = runNorix({"recover", image.string(), "--out", out.string(), "--path", "100norix",
                                     "--on-collision", "skip"},
                                    scratch.path());
    EXPECT_EQ(skipped.exitCode, 0) << skipped.err;
    EXPECT_FALSE(fs::exists(folder / "IMG_0001 (2).PNG"));

    // A link planted where a folder goes is not followed: nothing is saved there, and the
    // run says so with exit 5.
    const fs::path elsewhere = scratch / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(scratch / "linked");
    fs::create_directory_symlink(elsewhere, scratch / "linked" / "sample-fat32.img");
    const NorixRun linked =
        runNorix({"recover", image.string(), "--out", (scratch / "linked").string(), "--all"}, scratch.path());
    EXPECT_EQ(linked.exitCode, 5) << linked.err;
    EXPECT_TRUE(fs::is_empty(elsewhere));

    const NorixRun nothing =
        runNorix({"recover", image.string(), "--out", out.string(), "--path", "no-such-name"}, scratch.path());
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_NE(nothing.err.find("Check any files to recover"), std::string::npos);
}

TEST_F(Cli, RecoverSavesEachFileOnceUnlessAskedForEveryCopyAndDeletedOnlyOnAsk) {
    // The sweep carves the three pictures again under "Lost and Found": the same data
    // as the files the quick scan lists.
    const auto savedUnder = [&](const std::string& out, const std::string& branch) {
        size_t count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(scratch / out))
            count += entry.is_regular_file() && entry.path().string().find(branch) != std::string::npos;
        return count;
    };
    const NorixRun once = runNorix({"recover", test::sampleImage().string(), "--out", (scratch / "once").string(),
                                  "--all"}, scratch.path());
    ASSERT_EQ(once.exitCode, 0) << once.err;
    EXPECT_NE(once.err.find("3 duplicates skipped"), std::string::npos) << once.err;
    EXPECT_EQ(savedUnder("once", "/Lost and Found/"), 0u);
    EXPECT_EQ(savedUnder("once", "/Quick Scan/"), 11u);

    const NorixRun every = runNorix({"recover", test::sampleImage().string(), "--out", (scratch / "every").string(),
                                   "--all", "--keep-duplicates"}, scratch.path());
    ASSERT_EQ(every.exitCode, 0) << every.err;
    EXPECT_EQ(every.err.find("duplicates"), std::string::npos) << every.err;
    EXPECT_EQ(savedUnder("every", "/Lost and Found/"), 3u);

    const NorixRun deleted = runNorix({"recover", test::sampleImage().string(), "--out", (scratch / "deleted").string(),
                                     "--deleted-only", "--force"}, scratch.path());
    ASSERT_EQ(deleted.exitCode, 0) << deleted.err;
    // IMG_0002.PNG and plans.txt stay in their folders; the Trash folder went with its two
    // files. The quick scan's copies are these.
    std::vector<std::string> saved;
    for (const auto& entry : fs::recursive_directory_iterator(scratch / "deleted" / "sample-fat32.img" / "Quick Scan"))
        if (entry.is_regular_file()) saved.push_back(fs::relative(entry.path(), scratch / "deleted").string());
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, (std::vector<std::string>{"sample-fat32.img/Quick Scan/Deleted Files/Trash/ ld-list.txt",
                                               "sample-fat32.img/Quick Scan/Deleted Files/Trash/old-plans.txt",
                                               "sample-fat32.img/Quick Scan/Existing Files/DCIM/100NORIX/ MG_0002.PNG",
                                               "sample-fat32.img/Quick Scan/Existing Files/Documents/ lans.txt"}));
}

}  // namespace
}  // namespace norix
