// Disk-image files as Disks (refusals, real FAT32/exFAT images made by the file-system
// tools) and the catalogue built from a synthetic sysfs tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "disk/DiskArbitrator.h"
#include "disk/Platform.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

// Images made by mkfs.fat and mkfs.exfat are described from their boot sectors.
TEST(DiskForPath, DescribesAnImageFromItsContent) {
    for (const auto& [command, kind, label] :
         {std::tuple{"mkfs.fat -C -F 32 -n NORIXFAT \"$IMG\" 34000", "msdos", "NORIXFAT"},
          std::tuple{"truncate -s 8M \"$IMG\" && mkfs.exfat -L NORIXEX \"$IMG\"", "exfat", "NORIXEX"}}) {
        test::TempDir dir;
        const fs::path image = dir / "card.img";
        const std::string script = "PATH=$PATH:/usr/sbin IMG='" + image.string() + "'; " + command + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(script.c_str()), 0) << script;

        std::string reason;
        const auto disk = DiskArbitrator::diskForPath(image.string(), &reason);
        ASSERT_NE(disk, nullptr) << reason;
        EXPECT_EQ(disk->getVolumeKind(), kind);
        EXPECT_EQ(disk->getVolumeName(), label);
        EXPECT_EQ(disk->getBSDPath(), image.string());
        EXPECT_EQ(disk->getMediaName(), "card.img");
        EXPECT_EQ(disk->getDiskSize(), fs::file_size(image));
        EXPECT_TRUE(disk->isWholeDisk());
    }
}

// Lays out a sysfs block class folder like the kernel's: class entries are links into a
// device tree where a partition's folder sits inside its disk's.
void addDevice(const fs::path& root, const std::string& devicePath, const std::map<std::string, std::string>& files) {
    const fs::path device = root / "devices" / devicePath;
    for (const auto& [name, value] : files) {
        fs::create_directories((device / name).parent_path());
        std::ofstream(device / name) << value << "\n";
    }
    fs::create_directories(root / "class");
    fs::create_directory_symlink(device, root / "class" / device.filename());
}

TEST(DiskArbitrator, DescribesDisksAndPartitionsFromSysfs) {
    test::TempDir root;
    const std::string usbDisk = "pci0000:00/0000:00:14.0/usb1/1-1/host6/block/norixsdz";
    addDevice(root.path(), usbDisk,
              {{"size", "2048"}, {"removable", "1"}, {"dev", "4094:1000"}, {"queue/logical_block_size", "4096"},
               {"device/vendor", "Kingston"}, {"device/model", "DataTraveler 3.0   "}});
    addDevice(root.path(), usbDisk + "/norixsdz1", {{"size", "1024"}, {"partition", "1"}, {"dev", "4094:1001"}});
    addDevice(root.path(), "pci0000:00/virtio1/block/norixvda",
              {{"size", "4096"}, {"removable", "0"}, {"dev", "4094:1002"}, {"device/vendor", "0x1af4"}});
    addDevice(root.path(), "virtual/block/ram0", {{"size", "8192"}, {"dev", "1:0"}});
    addDevice(root.path(), "virtual/block/loop7", {{"size", "0"}, {"dev", "7:7"}});

    const auto manager = DiskArbitrator((root / "class").string()).getDiskManager();
    ASSERT_EQ(manager->totalDisk(), 3u);
    const auto disk = manager->getDiskAt(0), partition = manager->getDiskAt(1), virtualDisk = manager->getDiskAt(2);
    EXPECT_EQ(disk->getBSDPath(), "/dev/norixsdz");
    EXPECT_EQ(partition->getBSDPath(), "/dev/norixsdz1");
    EXPECT_EQ(partition->getDiskSize(), 1024u * 512);
    EXPECT_EQ(partition->getBlockSize(), 4096u);  // a partition has no queue of its own
    EXPECT_EQ(partition->getMediaName(), "Kingston DataTraveler 3.0");
    EXPECT_FALSE(partition->isWholeDisk());
    const DiskValue* protocol = partition->getValueForPropertyKey(DiskKey::DeviceProtocol);
    ASSERT_NE(protocol, nullptr);
    EXPECT_EQ(std::get<std::string>(*protocol), "USB");
    EXPECT_FALSE(virtualDisk->isRemovable());
    EXPECT_EQ(virtualDisk->getMediaName(), std::nullopt);  // a vendor id alone is no name

    EXPECT_EQ(manager->getTheDisksArray(), (std::vector<std::shared_ptr<Disk>>{disk, virtualDisk}));

    setConsoleQuiet(true);
    const auto missing = DiskArbitrator((root / "absent").string()).getDiskManager();
    setConsoleQuiet(false);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->totalDisk(), 0u);
}

}  // namespace
}  // namespace norix
