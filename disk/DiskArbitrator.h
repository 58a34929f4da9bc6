#pragma once
#include <memory>
#include <string>

#include "disk/DiskManager.h"

namespace norix {

inline constexpr const char* kUdevDataRoot = "/run/udev/data";

// Builds a catalogue of every block device of the machine (sysfs for the devices,
// libblkid for file-system kind and label, or udev's database where the device cannot
// be read, the mount table for mount points).
class DiskArbitrator {
public:
    // sysBlockRoot is the sysfs block class folder, udevDataRoot udev's database folder;
    // tests may point them elsewhere.
    explicit DiskArbitrator(std::string sysBlockRoot = "/sys/class/block", std::string udevDataRoot = kUdevDataRoot);
    std::unique_ptr<DiskManager> getDiskManager() const;

    // A disk-image file as a Disk: block size 512, size from the file, volume kind
    // from a probe of its content. Nothing when the path is not a readable regular
    // file or block device; reason says why.
    static std::shared_ptr<Disk> diskForPath(const std::string& path, std::string* reason = nullptr);

private:
    std::string sysBlockRoot_;
    std::string udevDataRoot_;
};

// blkid's file-system names mapped to the volume kinds the engine knows
// ("vfat" -> "msdos", "hfsplus" -> "hfs", ...); other names pass through.
std::string volumeKindForBlkidType(const std::string& blkidType);

}  // namespace norix
