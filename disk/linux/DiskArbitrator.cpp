#include "disk/DiskArbitrator.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <libmount/libmount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "disk/Platform.h"

namespace norix {

namespace fs = std::filesystem;

namespace {

// A descriptor closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, decltype(&blkid_free_probe)>;
using MountTable = std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)>;

// The first line of a sysfs attribute without surrounding blanks; empty when unreadable.
std::string readAttribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

uint64_t readNumber(const fs::path& path) {
    const std::string text = readAttribute(path);
    uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::optional<dev_t> readDeviceNumber(const fs::path& entry) {
    unsigned major = 0, minor = 0;
    if (std::sscanf(readAttribute(entry / "dev").c_str(), "%u:%u", &major, &minor) != 2) return std::nullopt;
    return makedev(major, minor);
}

std::string mediaNameOf(const fs::path& disk) {
    const std::string vendor = readAttribute(disk / "device/vendor");
    std::string model = readAttribute(disk / "device/model");
    if (model.empty()) model = readAttribute(disk / "device/name");  // MMC and SD cards
    // Without a model the vendor is only a bus id (virtio shows "0x1af4"): no name then.
    if (model.empty() || vendor.empty()) return model;
    return vendor + " " + model;
}

std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string schemeContent(const std::string& partitionTableType) {
    if (partitionTableType == "gpt") return "GUID_partition_scheme";
    if (partitionTableType == "dos") return "FDisk_partition_scheme";
    if (partitionTableType == "mac") return "Apple_partition_scheme";
    return partitionTableType;
}

// A probe's answer for one of blkid's value names (TYPE, LABEL, PART_ENTRY_TYPE, ...).
using ProbedValue = std::function<std::optional<std::string>(const std::string& name)>;

// File-system kind and label, and the partition type or partition-table scheme, from
// what a probe found.
void describeContent(const ProbedValue& value, DiskDescription& description) {
    if (const auto type = value("TYPE")) {
        description[DiskKey::VolumeKind] = volumeKindForBlkidType(*type);
        // Linux has one device for a whole APFS container; it stands for its volumes.
        if (*type == "apfs") description[DiskKey::MediaContent] = std::string(kApfsVolumeContent);
    }
    if (const auto label = value("LABEL")) description[DiskKey::VolumeName] = *label;
    if (description.contains(DiskKey::MediaContent)) return;
    if (const auto partitionType = value("PART_ENTRY_TYPE"))
        description[DiskKey::MediaContent] =
            value("PART_ENTRY_SCHEME") == "gpt" ? upperCase(*partitionType) : *partitionType;
    else if (const auto scheme = value("PTTYPE"))
        description[DiskKey::MediaContent] = schemeContent(*scheme);
}

// Probes the device or image open on fd for every type blkid knows, or only for the
// file systems the scan reads. Only reads; false when blkid could not probe.
bool probeTypes(int fd, DiskDescription& description, bool onlyScannedKinds) {
    const Probe probe(blkid_new_probe(), &blkid_free_probe);
    if (!probe || blkid_probe_set_device(probe.get(), fd, 0, 0) != 0) return false;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL);
    if (onlyScannedKinds) {
        char* kinds[] = {const_cast<char*>("vfat"), const_cast<char*>("exfat"), const_cast<char*>("hfsplus"),
                         const_cast<char*>("apfs"), nullptr};
        blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, kinds);
    } else {
        blkid_probe_enable_partitions(probe.get(), 1);
        blkid_probe_set_partitions_flags(probe.get(), BLKID_PARTS_ENTRY_DETAILS);
    }
    if (blkid_do_safeprobe(probe.get()) < 0) return false;
    describeContent(
        [&](const std::string& name) -> std::optional<std::string> {
            const char* data = nullptr;
            if (blkid_probe_lookup_value(probe.get(), name.c_str(), &data, nullptr) != 0 || !data) return std::nullopt;
            return std::string(data);
        },
        description);
    return true;
}

// A probe for every type fails when one type's probe meets a sector that cannot be read
// (a disk with bad sectors); the file systems the scan reads are then looked for alone.
bool probeContent(int fd, DiskDescription& description) {
    return probeTypes(fd, description, false) || probeTypes(fd, description, true);
}

// udev's \xNN escapes (ID_FS_LABEL_ENC) decoded.
std::string decodeUdevText(const std::string& text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned byte = 0;
        if (text.compare(i, 2, "\\x") == 0 && i + 4 <= text.size() &&
            std::from_chars(text.data() + i + 2, text.data() + i + 4, byte, 16).ptr == text.data() + i + 4) {
            decoded += static_cast<char>(byte);
            i += 3;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// What udev's own probe (it runs as root) recorded for the device: the E:KEY=VALUE
// lines of its database entry udevData/b<major>:<minor>.
void readUdevContent(const fs::path& udevData, dev_t device, DiskDescription& description) {
    std::ifstream in(udevData / ("b" + std::to_string(major(device)) + ":" + std::to_string(minor(device))));
    std::map<std::string, std::string> properties;
    std::string line;
    for (int lines = 0; lines < 1000 && std::getline(in, line); ++lines)
        if (const size_t equals = line.find('='); line.starts_with("E:") && equals != std::string::npos)
            properties[line.substr(2, equals - 2)] = line.substr(equals + 1);
    // blkid's value names as udev spells them; the label's escaped form keeps every byte.
    static const std::map<std::string, std::string> kUdevKeys{
        {"TYPE", "ID_FS_TYPE"}, {"LABEL", "ID_FS_LABEL"}, {"PART_ENTRY_TYPE", "ID_PART_ENTRY_TYPE"},
        {"PART_ENTRY_SCHEME", "ID_PART_ENTRY_SCHEME"}, {"PTTYPE", "ID_PART_TABLE_TYPE"}};
    describeContent(
        [&](const std::string& name) -> std::optional<std::string> {
            if (name == "LABEL" && properties.contains("ID_FS_LABEL_ENC"))
                return decodeUdevText(properties["ID_FS_LABEL_ENC"]);
            const auto key = kUdevKeys.find(name);
            const auto found = key == kUdevKeys.end() ? properties.end() : properties.find(key->second);
            if (found == properties.end() || found->second.empty()) return std::nullopt;
            return found->second;
        },
        description);
}

MountTable loadMountTable() {
    return MountTable(mnt_new_table_from_file("/proc/self/mountinfo"), &mnt_unref_table);
}

std::optional<std::string> mountPointOf(libmnt_table* mounts, dev_t device) {
    libmnt_fs* mount = mounts ? mnt_table_find_devno(mounts, device, MNT_ITER_FORWARD) : nullptr;
    const char* target = mount ? mnt_fs_get_target(mount) : nullptr;
    return target ? std::optional<std::string>(target) : std::nullopt;
}

// Probes /dev/<name> only when it is the block device sysfs describes. Without the
// right to read it (not root), takes what udev found instead.
void probeDeviceNode(const std::string& name, dev_t device, const fs::path& udevData, DiskDescription& description) {
    const FileDescriptor fd(open(("/dev/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info{};
    const bool isDevice = fd.get() >= 0 && fstat(fd.get(), &info) == 0 && S_ISBLK(info.st_mode);
    if (isDevice && info.st_rdev != device) return;
    if (!isDevice || !probeContent(fd.get(), description)) readUdevContent(udevData, device, description);
}

// Describes the block device sysfs lists as sysBlockRoot/entryName.
DiskDescription describeBlockDevice(const fs::path& sysBlockRoot, const std::string& entryName,
                                    const fs::path& udevData, libmnt_table* mounts) {
    const fs::path entry = sysBlockRoot / entryName;
    std::error_code error;
    const fs::path device = fs::canonical(entry, error);
    const bool whole = !fs::exists(entry / "partition", error);
    // A partition's folder sits inside its disk's; the disk holds model, queue and flags.
    const fs::path disk = whole ? entry : device.parent_path();
    const bool removable = readNumber(disk / "removable") == 1;
    const bool usb = device.string().find("/usb") != std::string::npos;
    std::string name = entryName;
    std::replace(name.begin(), name.end(), '!', '/');  // sysfs spells cciss/c0d0 as cciss!c0d0

    DiskDescription description{
        {DiskKey::MediaBSDName, name},
        {DiskKey::MediaSize, readNumber(entry / "size") * 512},  // sysfs counts 512-byte units
        {DiskKey::MediaBlockSize, readNumber(disk / "queue/logical_block_size")},
        {DiskKey::MediaRemovable, removable},
        {DiskKey::MediaWhole, whole},
        {DiskKey::DeviceInternal, !removable && !usb},
    };
    if (const std::string mediaName = mediaNameOf(disk); !mediaName.empty())
        description[DiskKey::MediaName] = mediaName;
    if (usb) description[DiskKey::DeviceProtocol] = std::string("USB");
    if (const auto number = readDeviceNumber(entry)) {
        if (const auto mountPoint = mountPointOf(mounts, *number)) description[DiskKey::VolumePath] = *mountPoint;
        probeDeviceNode(name, *number, udevData, description);
    }
    return description;
}

// An APFS container device is its own parent, so the quick scan's move from an APFS
// volume to its container lands on the same device.
void linkApfsContainerToItself(const std::shared_ptr<Disk>& disk) {
    if (disk->getVolumeKind() == "apfs") disk->setParentDisk(disk);
}

std::shared_ptr<Disk> describeImageFile(const std::string& path, int fd, uint64_t size) {
    DiskDescription description{
        {DiskKey::ImagePath, path},
        {DiskKey::MediaName, fs::path(path).filename().string()},
        {DiskKey::MediaSize, size},
        {DiskKey::MediaBlockSize, uint64_t{512}},
        {DiskKey::MediaWhole, true},
    };
    probeContent(fd, description);
    return std::make_shared<Disk>(std::move(description));
}

std::shared_ptr<Disk> describeDeviceNumber(dev_t device) {
    const fs::path sysBlockRoot = "/sys/class/block";
    std::error_code error;
    const fs::path sysDevice = fs::canonical(
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)), error);
    if (error) return nullptr;
    const MountTable mounts = loadMountTable();
    return std::make_shared<Disk>(
        describeBlockDevice(sysBlockRoot, sysDevice.filename().string(), kUdevDataRoot, mounts.get()));
}

}  // namespace

std::string volumeKindForBlkidType(const std::string& blkidType) {
    if (blkidType == "vfat") return "msdos";
    if (blkidType == "hfsplus" || blkidType == "hfs") return "hfs";
    return blkidType;
}

DiskArbitrator::DiskArbitrator(std::string sysBlockRoot, std::string udevDataRoot)
    : sysBlockRoot_(std::move(sysBlockRoot)), udevDataRoot_(std::move(udevDataRoot)) {}

std::unique_ptr<DiskManager> DiskArbitrator::getDiskManager() const {
    auto manager = std::make_unique<DiskManager>();
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(sysBlockRoot_, error); !error && it != fs::directory_iterator(); it.increment(error))
        names.push_back(it->path().filename().string());
    if (error) consoleLog("Unable to list %s: %s\n", sysBlockRoot_.c_str(), error.message().c_str());
    std::sort(names.begin(), names.end());  // a disk before its partitions, as the APFS linking needs

    const MountTable mounts = loadMountTable();
    for (const std::string& name : names) {
        // RAM disks are no recovery source; a size of 0 is an empty slot or loop device.
        const bool ramDisk = name.starts_with("ram") || name.starts_with("zram");
        if (ramDisk || readNumber(fs::path(sysBlockRoot_) / name / "size") == 0) continue;
        auto disk = std::make_shared<Disk>(describeBlockDevice(sysBlockRoot_, name, udevDataRoot_, mounts.get()));
        manager->addDisk(disk);
        linkApfsContainerToItself(disk);
    }
    return manager;
}

std::shared_ptr<Disk> DiskArbitrator::diskForPath(const std::string& path, std::string* reason) {
    const auto fail = [&](std::string why) -> std::shared_ptr<Disk> {
        if (reason) *reason = std::move(why);
        return nullptr;
    };
    // Open before looking at the type (no gap for a swap), non-blocking so a FIFO cannot hang us.
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return fail(errno == ENOENT ? "No such file or directory: " + path : "Unable to open disk");
    struct stat info{};
    if (fstat(fd.get(), &info) != 0) return fail("Unable to open disk");
    if (S_ISDIR(info.st_mode)) return fail(path + " is a directory");

    std::shared_ptr<Disk> disk;
    if (S_ISREG(info.st_mode)) {
        if (info.st_size == 0) return fail(path + " is empty");
        disk = describeImageFile(path, fd.get(), static_cast<uint64_t>(info.st_size));
    } else if (S_ISBLK(info.st_mode)) {
        disk = describeDeviceNumber(info.st_rdev);
    }
    if (!disk) return fail("Unable to open disk");
    linkApfsContainerToItself(disk);
    return disk;
}

}  // namespace norix
