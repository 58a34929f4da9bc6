// The APFS scans on the container of tools/make-apfs-fixture.sh, written and pruned by
// the Linux APFS driver: every live file listed under its folder and saved byte-exact,
// the deleted ones whose records survive in old node copies listed as deleted, the
// newest copy of a rewritten file saved; the same container found by the deep scan
// inside a disk whose partition table was wiped; an encrypted volume named.
#include <gtest/gtest.h>

#include <map>

#include "records/apfs/BtreeNodePhysT.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"
#include "tests/scan/ScanHelpers.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

using test::collect;

// Deleted files whose inode and extents survive in the fixture's old nodes (the records
// of OldStuff's contents were overwritten by the driver: no node holds them). old
// draft.txt was deleted from a folder that stays.
const std::vector<std::string> kDeletedFound{"/Documents/old draft.txt", "/deleted-note.txt"};

// Counts the quick scan's existing files at the moment it completes, and keeps notices.
struct Watcher : RecoveryToDelegate {
    RecoveryModule* module = nullptr;
    uint32_t quickExisting = 0;
    std::vector<std::string> notices;
    void quickCompleted() override {
        quickExisting = module->dirRoot()->getChildAtIndex(0)->getChildAtIndex(0)->fileCount;
    }
    void showNotice(const std::string& text) override { notices.push_back(text); }
};

class ApfsScan : public ::testing::Test {
protected:
    void scan(const fs::path& image, uint64_t sectorSize, const std::string& scanType) {
        module = std::make_unique<RecoveryModule>();
        watcher.module = module.get();
        module->setDel(&watcher);
        module->setDiskPathWithString_withRootName(image.string(), "Mac");
        module->recoverFromDisk_withScantType_andName_selectedPath(
            test::imageDisk(image, sectorSize, scanType == "Q" ? "apfs" : ""), scanType, "Mac", std::nullopt);
    }
    // Every listed node below branch by its path, and each manifest file expected there.
    std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> expectListed(
        const BaseTree* existing, const BaseTree* deleted, const std::vector<test::ManifestEntry>& manifest,
        const std::vector<std::string>& deletedFound = kDeletedFound) {
        std::multimap<std::string, BaseTree*> live, gone;
        collect(existing, "", live);
        if (deleted) collect(deleted, "", gone);
        std::vector<std::pair<const test::ManifestEntry*, BaseTree*>> found;
        for (const auto& file : manifest) {
            const bool expected = !file.deleted || std::count(deletedFound.begin(), deletedFound.end(), file.path);
            // A file deleted from a folder that stays is listed in that folder.
            const auto& where = file.deleted && deleted && !live.count(file.path) ? gone : live;
            EXPECT_EQ(where.count(file.path), expected ? 1u : 0u) << file.path;
            if (!expected || !where.count(file.path)) continue;
            BaseTree* node = where.find(file.path)->second;
            EXPECT_EQ(node->deleted != 0, file.deleted) << file.path;
            EXPECT_EQ(node->fileSize, file.size) << file.path;
            EXPECT_FALSE(node->incomplete) << file.path;
            found.emplace_back(&file, node);
        }
        return found;
    }

    // Reads each file's data from the image as saving would, and compares it.
    void expectDataByteExact(const std::vector<std::pair<const test::ManifestEntry*, BaseTree*>>& found,
                             const fs::path& image) {
        for (const auto& [file, node] : found) {
            const auto data = node->getDataForFileWithBSD(image.string());
            ASSERT_TRUE(data) << file->path;
            test::writeFile(dir / "data.bin", *data);
            EXPECT_EQ(test::sha256Of(dir / "data.bin"), file->sha256) << file->path;
        }
    }
    // A sparse disk image holding the fixture container at the byte offset.
    fs::path diskWithContainerAt(uint64_t offset, uint64_t tail) {
        const fs::path container = test::unpack("apfs", dir), disk = dir / "disk.img";
        test::writeFile(disk, {});
        fs::resize_file(disk, offset + fs::file_size(container) + tail);
        EXPECT_EQ(std::system(("dd if='" + container.string() + "' of='" + disk.string() + "' bs=1M seek=" +
                               std::to_string(offset >> 20) + " conv=notrunc,sparse status=none")
                                  .c_str()),
                  0);
        return disk;
    }

    test::TempHome home;
    test::TempDir dir;
    Watcher watcher;
    std::unique_ptr<RecoveryModule> module;
};

class ApfsVolume : public ApfsScan, public ::testing::WithParamInterface<uint64_t> {};

// On 512-byte sectors whole 4 KiB blocks are assembled from eight. The driver put every
// live node of the file-system tree beyond the container's first quarter, which the
// quick scan sweeps: the live tree lists them all the same, before the deep scan starts.
TEST_P(ApfsVolume, ListsEveryFileUnderItsFolderAndSavesItByteExact) {
    scan(test::unpack("apfs", dir), GetParam(), "Q");
    const auto manifest = test::manifestOf("apfs");
    const BaseTree* quick = module->dirRoot()->getChildAtIndex(0);
    const auto found = expectListed(quick->getChildAtIndex(0), quick->getChildAtIndex(1), manifest);
    EXPECT_EQ(watcher.quickExisting, std::count_if(manifest.begin(), manifest.end(),
                                                   [](const auto& file) { return !file.deleted; }));
    // The deep scan met the same nodes again and listed nothing twice.
    for (const auto& child : module->deepNode()->childrenArray)
        EXPECT_EQ(child->fileName.find("Lost Partition"), std::string::npos) << child->fileName;
    for (const auto& [file, node] : found)
        if (file->path == "/fragmented.bin") {
            EXPECT_GT(node->dataExtArray.size(), 1u);
        }
    test::expectSavedByteExact(*module, found, dir / "out");
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, ApfsVolume, ::testing::Values(512, 4096));

// The container as the partition of a GPT disk whose primary and backup tables are then
// zeroed, and its own first block too: the deep scan finds it by a superblock copy in its
// checkpoint area, places its start from there, reads its live tree and rebuilds it with
// its folders, every file reading back byte-exact.
TEST_F(ApfsScan, AContainerOfAWipedGptDiskIsFoundByTheDeepScan) {
    const uint64_t start = 2 << 20, containerBytes = uint64_t{1} << 30, diskBytes = containerBytes + 2 * start;
    const fs::path disk = diskWithContainerAt(start, start);
    const std::string table = "printf 'label: gpt\\nstart=" + std::to_string(start / 512) + ", size=" +
                              std::to_string(containerBytes / 512) +
                              ", type=7C3457EF-0000-11AA-AA11-00306543ECAC\\n' | sfdisk -q '" + disk.string() + "'";
    ASSERT_EQ(std::system(table.c_str()), 0);
    test::writeBytes(disk, 0, std::vector<uint8_t>(34 * 512, 0));
    test::writeBytes(disk, diskBytes - 33 * 512, std::vector<uint8_t>(33 * 512, 0));
    test::writeBytes(disk, start, std::vector<uint8_t>(kApfsBlockBytes, 0));
    scan(disk, 512, "D");

    const BaseTree* partition = test::childNamed(module->deepNode(), "Lost Partition: Apfs");
    ASSERT_NE(partition, nullptr);
    const auto manifest = test::manifestOf("apfs");
    expectDataByteExact(expectListed(partition, nullptr, manifest), disk);
}

// A container 2 TiB into a disk of 512-byte sectors, where sector numbers pass 32 bits:
// the container's position is carried whole, and its live files read from where they lie.
TEST_F(ApfsScan, AContainerBeyondTwoTerabytesIsReadWhereItLies) {
    const uint64_t sector = uint64_t{1} << 32;
    const fs::path disk = diskWithContainerAt(sector * 512, 0);
    module = std::make_unique<RecoveryModule>();
    module->setDiskPathWithString_withRootName(disk.string(), "Mac");
    module->setTheDiskInModule(test::imageDisk(disk, 512));
    TreeClassMethod::addDeepNodesInDIR(module->dirRoot());
    module->previousBlockNumberAPFS = sector;
    ApfsItemDict items;
    ApfsExtentDict extents;
    ASSERT_TRUE(module->readApfsLiveTree(sector, items, extents));
    module->enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(items, extents, module->deepNode(),
                                                                                "D");
    auto manifest = test::manifestOf("apfs");
    std::erase_if(manifest, [](const auto& file) { return file.deleted; });
    expectDataByteExact(expectListed(test::childNamed(module->deepNode(), "Lost Partition: Apfs"), nullptr, manifest),
                        disk);
}

// Copies of the leaf node that holds rewritten.txt (block 229388 of the fixture) met in
// disk order: one from an older transaction whose extents point elsewhere changes
// nothing, one from a newer transaction replaces the run.
TEST_F(ApfsScan, TheCopyFromTheNewestTransactionWinsWhateverTheOrderMet) {
    const auto node = test::readBytes(test::unpack("apfs", dir), 229388 * kApfsBlockBytes, kApfsBlockBytes);
    const uint64_t xid = ByteView(node).u64le(16);
    auto copy = [&](uint64_t copyXid) {
        std::vector<uint8_t> bytes = node;
        for (int i = 0; i < 8; ++i) bytes[16 + i] = static_cast<uint8_t>(copyXid >> 8 * i);
        const auto tree = BtreeNodePhysT::initWithBtreeNodePhysTBlock(ByteView(bytes));
        for (uint32_t i = 0; i < tree->btn_nkeys; ++i)
            if (std::holds_alternative<JExtentValT>(tree->btn_data[i]._m_val))
                bytes[tree->placeOf(ByteView(node), i)->value + 9] ^= 0x40;  // the physical block, moved
        return bytes;
    };
    RecoveryModule scanner;
    ApfsItemDict items;
    ApfsExtentDict extents;
    auto firstRun = [&] {
        const auto file = std::find_if(items.items.begin(), items.items.end(),
                                       [](const auto& item) { return item.second.name == "rewritten.txt"; });
        return extents.extents.at(file->second.private_id).begin()->second.start;
    };
    auto parse = [&](const std::vector<uint8_t>& bytes) {
        scanner.deepScanForAPFS_withSize_withScanType_withItemDict_andExtentDict(ByteView(bytes), 4096, "D", items,
                                                                                  extents);
        return firstRun();
    };
    const uint64_t start = parse(node);
    EXPECT_EQ(parse(copy(xid - 1)), start);
    EXPECT_EQ(parse(copy(xid + 1)), start ^ (uint64_t{0x40} << 8));
}

// fragmented.bin (its inode and 13 extents in the same leaf node) without its last
// extent, or with it just past the container's end: listed with the twelve runs that
// lie inside and marked incomplete, no run guessed or read from past the end.
TEST_F(ApfsScan, AFileWhoseRunsStopShortOrLeaveTheContainerKeepsTheRestAndIsMarkedIncomplete) {
    const fs::path image = test::unpack("apfs", dir);
    const auto node = test::readBytes(image, 229388 * kApfsBlockBytes, kApfsBlockBytes);
    for (const bool pastTheEnd : {false, true}) {
        SCOPED_TRACE(pastTheEnd ? "past the end" : "missing");
        module = std::make_unique<RecoveryModule>();
        module->setDiskPathWithString_withRootName(image.string(), "Mac");
        module->setTheDiskInModule(test::imageDisk(image, 4096, ""));
        TreeClassMethod::addDeepNodesInDIR(module->dirRoot());
        ApfsItemDict items;
        ApfsExtentDict extents;
        module->deepScanForAPFS_withSize_withScanType_withItemDict_andExtentDict(ByteView(node), 4096, "D", items,
                                                                                 extents);
        for (auto& [id, runs] : extents.extents) {
            if (runs.size() != 13) continue;
            if (pastTheEnd) std::prev(runs.end())->second.start = fs::file_size(image) / kApfsBlockBytes;
            else runs.erase(std::prev(runs.end()));
        }
        module->enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(items, extents,
                                                                                    module->deepNode(), "D");
        const BaseTree* partition = test::childNamed(module->deepNode(), "Lost Partition: Apfs");
        const BaseTree* file = partition ? test::childNamed(partition, "fragmented.bin") : nullptr;
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->dataExtArray.size(), 12u);
        EXPECT_TRUE(file->incomplete);
    }
}

// The volume's superblocks (every copy, checksums made right) without the flag that says
// the volume is not encrypted: the user is told, rather than shown an empty listing.
TEST_F(ApfsScan, AnEncryptedVolumeIsNamedAsSuch) {
    const fs::path image = test::unpack("apfs", dir);
    const size_t piece = 8 << 20;
    for (uint64_t offset = 0; offset < fs::file_size(image); offset += piece) {
        const auto bytes = test::readBytes(image, offset, piece);
        for (size_t at = 0; at + kApfsBlockBytes <= bytes.size(); at += kApfsBlockBytes) {
            std::vector<uint8_t> block(bytes.begin() + at, bytes.begin() + at + kApfsBlockBytes);
            if (ByteView(block).u32le(24) != 0x0D || !ByteView(block).matches(32, "APSB")) continue;
            block[264] &= 0xFE;
            const uint64_t sum = ObjPhys::checksumOf(ByteView(block));
            for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(sum >> 8 * i);
            test::writeBytes(image, offset + at, block);
        }
    }
    module = std::make_unique<RecoveryModule>();
    module->setDel(&watcher);
    module->setDiskPathWithString_withRootName(image.string(), "Mac");
    module->setTheDiskInModule(test::imageDisk(image, 4096, "apfs"));
    TreeClassMethod::addQuickNodesInDir(module->dirRoot());
    module->quickSacnForAPFS({});
    EXPECT_EQ(watcher.notices,
              std::vector<std::string>{"Norix APFS: encrypted APFS volume: files cannot be read without its key"});
}

}  // namespace
}  // namespace norix
