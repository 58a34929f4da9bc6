#pragma once
// One disk or volume: a snapshot of its platform description. The description keys
// mirror the Disk Arbitration ones, so a macOS backend can hand its dictionary over
// unchanged and the filter rules can be tested with synthetic descriptions.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace norix {

using DiskValue = std::variant<bool, uint64_t, std::string>;
using DiskDescription = std::map<std::string, DiskValue>;

namespace DiskKey {
inline constexpr const char* MediaBSDName = "DAMediaBSDName";
inline constexpr const char* MediaName = "DAMediaName";
inline constexpr const char* MediaContent = "DAMediaContent";
inline constexpr const char* MediaSize = "DAMediaSize";
inline constexpr const char* MediaBlockSize = "DAMediaBlockSize";
inline constexpr const char* MediaRemovable = "DAMediaRemovable";
inline constexpr const char* MediaWhole = "DAMediaWhole";
inline constexpr const char* DeviceInternal = "DADeviceInternal";
inline constexpr const char* DeviceProtocol = "DADeviceProtocol";
inline constexpr const char* VolumeKind = "DAVolumeKind";
inline constexpr const char* VolumeName = "DAVolumeName";
inline constexpr const char* VolumePath = "DAVolumePath";
// Not a Disk Arbitration key: set for a disk-image file, whose path is then the
// device path every read uses.
inline constexpr const char* ImagePath = "NorixImagePath";
}  // namespace DiskKey

// Media-content identifiers compared exactly against DAMediaContent.
inline constexpr const char* kApfsVolumeContent = "41504653-0000-11AA-AA11-00306543ECAC";
inline constexpr const char* kApfsContainerContent = "EF57347C-0000-11AA-AA11-00306543ECAC";

// The folders under which removable volumes are mounted on this platform.
std::vector<std::string> defaultRemovableMediaRoots();

class Disk {
public:
    explicit Disk(DiskDescription description,
                  std::vector<std::string> removableMediaRoots = defaultRemovableMediaRoots());

    const DiskValue* getValueForPropertyKey(const std::string& key) const;

    // "/dev/<name>" from the BSD name, or the image path for a disk-image file.
    std::optional<std::string> getBSDPath() const;
    uint64_t getBlockSize() const;
    uint64_t getDiskSize() const;
    bool isRemovable() const;
    bool isInternalDisk() const;
    bool isWholeDisk() const;
    std::optional<std::string> mediaName() const { return getMediaName(); }
    std::optional<std::string> getMediaName() const;
    std::optional<std::string> getMediaContent() const;
    std::optional<std::string> getVolumeKind() const;
    std::optional<std::string> getVolumeName() const;
    std::optional<std::string> getVolumePath() const;
    uint64_t getAvailableSize() const;
    bool isFileSystemWritable() const;

    // Filter rules of the drive list; isValidDisk and isDisk also set the type.
    bool isValidDisk();
    bool isDisk();
    bool checkFordrive() const;

    // "Disk", "OS", or nothing for an ordinary mounted volume.
    const std::optional<std::string>& getTheType() const { return type_; }
    // An APFS container partition is its own parent; that link is held weakly so a
    // Disk never owns itself.
    std::shared_ptr<Disk> getParentDisk() const;
    void setParentDisk(std::shared_ptr<Disk> parent);
    bool isImageFile() const;

    std::string description() const;

private:
    std::optional<std::string> stringValue(const char* key) const;
    uint64_t numberValue(const char* key) const;
    bool flagValue(const char* key) const;

    std::shared_ptr<Disk> parentDisk_;
    std::weak_ptr<Disk> selfParent_;
    std::optional<std::string> type_;
    DiskDescription diskDescription_;
    std::vector<std::string> removableMediaRoots_;
};

// The four volume kinds the scan engine understands.
bool isKnownVolumeKind(const std::optional<std::string>& kind);

}  // namespace norix
