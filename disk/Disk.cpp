#include "disk/Disk.h"

#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace norix {

namespace fs = std::filesystem;

namespace {

std::string userNameOf(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return entry.pw_name;
}

// The user whose desktop mounts the removable media: when run through sudo or pkexec
// that is the invoking user, not root.
std::string invokingUserName() {
    if (const char* sudoUser = std::getenv("SUDO_USER"); sudoUser && *sudoUser) return sudoUser;
    if (const char* pkexecUid = std::getenv("PKEXEC_UID"); pkexecUid && *pkexecUid)
        return userNameOf(static_cast<uid_t>(std::strtoul(pkexecUid, nullptr, 10)));
    return {};
}

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The volumes the system keeps for itself; listed only when mounted under a media root.
bool isSystemHelperName(const std::string& name) {
    return name == "Recovery" || name == "Update" || name == "EFI";
}

}  // namespace

std::vector<std::string> defaultRemovableMediaRoots() {
    std::vector<std::string> roots;
    for (const std::string& user : {userNameOf(geteuid()), invokingUserName()}) {
        if (user.empty() || std::find(roots.begin(), roots.end(), "/media/" + user) != roots.end()) continue;
        roots.push_back("/media/" + user);
        roots.push_back("/run/media/" + user);
    }
    roots.push_back("/mnt");
    return roots;
}

bool isKnownVolumeKind(const std::optional<std::string>& kind) {
    return kind && (*kind == "apfs" || *kind == "exfat" || *kind == "msdos" || *kind == "hfs");
}

Disk::Disk(DiskDescription description, std::vector<std::string> removableMediaRoots)
    : diskDescription_(std::move(description)), removableMediaRoots_(std::move(removableMediaRoots)) {}

const DiskValue* Disk::getValueForPropertyKey(const std::string& key) const {
    const auto it = diskDescription_.find(key);
    return it == diskDescription_.end() ? nullptr : &it->second;
}

std::optional<std::string> Disk::stringValue(const char* key) const {
    const DiskValue* value = getValueForPropertyKey(key);
    const auto* text = value ? std::get_if<std::string>(value) : nullptr;
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

uint64_t Disk::numberValue(const char* key) const {
    const DiskValue* value = getValueForPropertyKey(key);
    const auto* number = value ? std::get_if<uint64_t>(value) : nullptr;
    return number ? *number : 0;
}

bool Disk::flagValue(const char* key) const {
    const DiskValue* value = getValueForPropertyKey(key);
    const auto* flag = value ? std::get_if<bool>(value) : nullptr;
    return flag && *flag;
}

std::optional<std::string> Disk::getBSDPath() const {
    if (auto image = stringValue(DiskKey::ImagePath)) return image;
    const auto name = stringValue(DiskKey::MediaBSDName);
    if (!name || name->empty()) return std::nullopt;
    return "/dev/" + *name;
}

uint64_t Disk::getBlockSize() const { return numberValue(DiskKey::MediaBlockSize); }
uint64_t Disk::getDiskSize() const { return numberValue(DiskKey::MediaSize); }
bool Disk::isRemovable() const {
    return flagValue(DiskKey::MediaRemovable) || stringValue(DiskKey::DeviceProtocol) == "USB";
}
bool Disk::isInternalDisk() const { return flagValue(DiskKey::DeviceInternal); }
bool Disk::isWholeDisk() const { return flagValue(DiskKey::MediaWhole); }
std::optional<std::string> Disk::getMediaName() const { return stringValue(DiskKey::MediaName); }
std::optional<std::string> Disk::getMediaContent() const { return stringValue(DiskKey::MediaContent); }
std::optional<std::string> Disk::getVolumeKind() const { return stringValue(DiskKey::VolumeKind); }
std::optional<std::string> Disk::getVolumeName() const { return stringValue(DiskKey::VolumeName); }
std::optional<std::string> Disk::getVolumePath() const { return stringValue(DiskKey::VolumePath); }
bool Disk::isImageFile() const { return getValueForPropertyKey(DiskKey::ImagePath) != nullptr; }

uint64_t Disk::getAvailableSize() const {
    const auto path = getVolumePath();
    struct statvfs info{};
    if (!path || statvfs(path->c_str(), &info) != 0) return 0;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

bool Disk::isFileSystemWritable() const {
    const auto path = getVolumePath();
    struct statvfs info{};
    return path && statvfs(path->c_str(), &info) == 0 && !(info.f_flag & ST_RDONLY);
}

bool Disk::isValidDisk() {
    if (!isKnownVolumeKind(getVolumeKind())) return isDisk();
    const std::string path = getVolumePath().value_or("");
    const std::string name = getVolumeName().value_or("");
    // A volume without a label is mounted under a folder the mounter made up, so only
    // its place tells an ordinary removable volume from one of the system's own.
    if (name.empty()) {
        if (!checkFordrive()) type_ = "OS";
        return true;
    }
    // The desktop mounts a removable volume on a folder named after it; any other
    // volume (the start-up one, an unmounted one) belongs to the system.
    const bool mountedUnderItsName = contains(path, name) || contains(path, lowerCase(name));
    if (!mountedUnderItsName && !isSystemHelperName(name)) {
        type_ = "OS";
        return true;
    }
    return checkFordrive();
}

// Linux names whole disks sda, nvme0n1, mmcblk0, loop0..., so the whole-disk flag,
// not the length of the name, tells a whole disk from a partition.
bool Disk::isDisk() {
    if (!getBSDPath() || !isWholeDisk() || getMediaContent() == kApfsContainerContent) return false;
    type_ = "Disk";
    return true;
}

bool Disk::checkFordrive() const {
    std::string path = getVolumePath().value_or("");
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string component = path.substr(path.rfind('/') + 1);
    if (component.empty()) return false;
    return std::any_of(removableMediaRoots_.begin(), removableMediaRoots_.end(), [&](const std::string& root) {
        std::error_code error;
        fs::directory_iterator entry(root, error);
        if (error) return fs::exists(fs::path(root) / component, error);
        for (; !error && entry != fs::directory_iterator(); entry.increment(error))
            if (entry->path().filename() == component) return true;
        return false;
    });
}

std::shared_ptr<Disk> Disk::getParentDisk() const { return parentDisk_ ? parentDisk_ : selfParent_.lock(); }

void Disk::setParentDisk(std::shared_ptr<Disk> parent) {
    if (parent.get() == this) {
        selfParent_ = parent;
        parentDisk_.reset();
    } else {
        parentDisk_ = std::move(parent);
        selfParent_.reset();
    }
}

std::string Disk::description() const {
    return "\nBSD Path: " + getBSDPath().value_or("(null)") + "\nMediaName: " + getMediaName().value_or("(null)") +
           "\nSize: " + std::to_string(getDiskSize()) + "\nExternal: " + (isRemovable() ? "1" : "0");
}

}  // namespace norix
