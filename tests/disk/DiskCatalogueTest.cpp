// Classification of the drive list, APFS container linking and the catalogue lookups,
// from synthetic descriptions.
#include <gtest/gtest.h>

#include <filesystem>

#include "disk/DiskManager.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

using namespace std::string_literals;

constexpr const char* kContainerContent = "EF57347C-0000-11AA-AA11-00306543ECAC";

DiskDescription wholeDisk(const std::string& bsdName, const std::string& content = "GUID_partition_scheme") {
    return {{DiskKey::MediaBSDName, bsdName}, {DiskKey::MediaWhole, true}, {DiskKey::MediaContent, content}};
}

DiskDescription volume(const std::string& kind, std::optional<std::string> name, std::optional<std::string> path) {
    DiskDescription description{{DiskKey::MediaBSDName, "sdb1"s}, {DiskKey::VolumeKind, kind}};
    if (name) description[DiskKey::VolumeName] = *name;
    if (path) description[DiskKey::VolumePath] = *path;
    return description;
}

DiskDescription apfsVolume(const std::string& bsdName) {
    return {{DiskKey::MediaBSDName, bsdName}, {DiskKey::MediaContent, std::string(kApfsVolumeContent)},
            {DiskKey::VolumeKind, "apfs"s}};
}

// The media root lists CARD, EFI and 1234-ABCD, as if those volumes were mounted there.
TEST(DiskCatalogue, ClassificationDecidesListingAndType) {
    test::TempDir media;
    for (const char* folder : {"CARD", "EFI", "1234-ABCD"}) std::filesystem::create_directory(media / folder);
    using Case = std::tuple<DiskDescription, bool, std::optional<std::string>>;
    int row = 0;
    for (const auto& [description, listed, type] : {
             Case{wholeDisk("disk0", kContainerContent), false, {}},  // an APFS container
             Case{wholeDisk("sda"), true, "Disk"},
             Case{{{DiskKey::MediaBSDName, "sda2"s}, {DiskKey::MediaWhole, false}}, false, {}},  // no kind
             Case{volume("exfat", "CARD", "/media/me/CARD"), true, {}},
             Case{volume("msdos", "Card", "/mnt/card"), false, {}},  // no media root entry
             Case{volume("apfs", "Macintosh HD", "/"), true, "OS"},
             Case{volume("msdos", "EFI", "/media/me/EFI"), true, {}},
             Case{volume("msdos", "EFI", "/boot/efi"), false, {}},
             Case{volume("apfs", "Recovery", std::nullopt), false, {}},
             Case{volume("msdos", std::nullopt, "/boot/efi"), true, "OS"},
         }) {
        SCOPED_TRACE(row++);
        Disk disk(description, {media.path().string()});
        EXPECT_EQ(disk.isValidDisk(), listed);
        EXPECT_EQ(disk.getTheType(), type);
    }
}

TEST(DiskCatalogue, ApfsVolumeLinksToLastContainingDiskInListOrder) {
    auto disk1 = std::make_shared<Disk>(wholeDisk("disk1"));
    auto disk10 = std::make_shared<Disk>(wholeDisk("disk10", kContainerContent));
    auto volume = std::make_shared<Disk>(apfsVolume("disk10s1"));
    auto plain = std::make_shared<Disk>(wholeDisk("disk10s2"));
    DiskManager manager;
    for (const auto& disk : {disk1, disk10, volume, plain}) manager.addDisk(disk);
    EXPECT_EQ(volume->getParentDisk(), disk10);
    EXPECT_EQ(plain->getParentDisk(), nullptr);

    auto second = std::make_shared<Disk>(apfsVolume("disk10s1"));
    DiskManager reversed;
    for (const auto& disk : {disk10, disk1, second}) reversed.addDisk(disk);
    EXPECT_EQ(second->getParentDisk(), disk1);

    // Filtering drops the container, in order, but the volume still reaches it.
    EXPECT_EQ(manager.getTheDisksArray(), (std::vector<std::shared_ptr<Disk>>{disk1, volume, plain}));
    EXPECT_EQ(volume->getParentDisk(), disk10);
}

TEST(DiskCatalogue, LookupsFindDisksByPathNameAndSelectedFolder) {
    auto system = std::make_shared<Disk>(volume("apfs", "Macintosh HD", "/"));
    auto card = std::make_shared<Disk>(volume("exfat", "CARD", "/mnt/CARD"));
    auto stick =
        std::make_shared<Disk>(DiskDescription{{DiskKey::MediaBSDName, "sdc"s}, {DiskKey::MediaName, "STICK"s}});
    auto named = std::make_shared<Disk>(DiskDescription{{DiskKey::MediaName, "CARD"s}, {DiskKey::VolumeName, "X"s}});
    system->isValidDisk();
    const std::vector<std::shared_ptr<Disk>> disks{named, card, system, stick};

    EXPECT_EQ(DiskManager::getDiskFromBSDPath_inArray("/dev/sdc", disks), stick);
    EXPECT_EQ(DiskManager::getDiskFromBSDPath_inArray("/dev/sd", disks), nullptr);
    EXPECT_EQ(DiskManager::getDiskWithName_inArray("CARD", disks), card);  // a volume name hides the media name
    EXPECT_EQ(DiskManager::getDiskWithName_inArray("STICK", disks), stick);
    EXPECT_EQ(DiskManager::getDiskFromSelectPath_inArray("/mnt/CARD/DCIM/100", disks), card);
    EXPECT_EQ(DiskManager::getDiskFromSelectPath_inArray("/mnt/OTHER", disks), nullptr);
    EXPECT_EQ(DiskManager::getDiskFromSelectPath_inArray("/home/me/Pictures", disks), system);
    EXPECT_EQ(DiskManager::getDiskFromSelectPath_inArray("/mnt", disks), system);
}

}  // namespace
}  // namespace norix
