#include "disk/DiskManager.h"

#include <algorithm>
#include <exception>
#include <filesystem>

namespace norix {

void DiskManager::addDisk(std::shared_ptr<Disk> disk) {
    if (disk->getMediaContent() == kApfsVolumeContent) {
        // The container's device path is part of the volume's (/dev/disk3 in
        // /dev/disk3s1); the last such disk in the list is the closest one.
        const auto path = disk->getBSDPath();
        for (const auto& listed : disks_) {
            const auto listedPath = listed->getBSDPath();
            if (path && listedPath && *listedPath != *path && path->find(*listedPath) != std::string::npos)
                disk->setParentDisk(listed);
        }
    }
    disks_.push_back(std::move(disk));
}

const std::vector<std::shared_ptr<Disk>>& DiskManager::getTheDisksArray() {
    std::vector<std::shared_ptr<Disk>> valid;
    for (const auto& disk : disks_) {
        try {
            if (disk->isValidDisk()) valid.push_back(disk);
        } catch (const std::exception&) {
            // A disk that cannot be judged is left out of the list.
        }
    }
    disks_ = std::move(valid);
    return disks_;
}

std::shared_ptr<Disk> DiskManager::getDiskAt(size_t index) const {
    return index < disks_.size() ? disks_[index] : nullptr;
}

namespace {

std::shared_ptr<Disk> firstDisk(const std::vector<std::shared_ptr<Disk>>& disks, auto&& matches) {
    const auto it = std::find_if(disks.begin(), disks.end(), [&](const auto& disk) { return matches(*disk); });
    return it == disks.end() ? nullptr : *it;
}

// The folder right below a removable-media root that holds path: its mount folder.
std::optional<std::string> mountFolderUnderMediaRoot(const std::string& path) {
    const std::filesystem::path normal = std::filesystem::path(path).lexically_normal();
    for (const std::string& root : defaultRemovableMediaRoots()) {
        const std::filesystem::path below = normal.lexically_relative(root);
        if (below.empty() || *below.begin() == "." || *below.begin() == "..") continue;
        return below.begin()->string();
    }
    return std::nullopt;
}

}  // namespace

std::shared_ptr<Disk> DiskManager::getDiskFromBSDPath_inArray(const std::string& path,
                                                             const std::vector<std::shared_ptr<Disk>>& disks) {
    return firstDisk(disks, [&](const Disk& disk) { return disk.getBSDPath() == path; });
}

std::shared_ptr<Disk> DiskManager::getDiskWithName_inArray(const std::string& name,
                                                          const std::vector<std::shared_ptr<Disk>>& disks) {
    return firstDisk(disks, [&](const Disk& disk) {
        const auto volumeName = disk.getVolumeName();
        return (volumeName ? volumeName : disk.getMediaName()) == name;
    });
}

std::shared_ptr<Disk> DiskManager::getDiskFromSelectPath_inArray(const std::string& path,
                                                                const std::vector<std::shared_ptr<Disk>>& disks) {
    if (const auto folder = mountFolderUnderMediaRoot(path)) return getDiskWithName_inArray(*folder, disks);
    return firstDisk(disks, [](const Disk& disk) { return disk.getTheType() == "OS"; });
}

DriveColumns driveColumnsFor(Disk& disk) {
    DriveColumns columns;
    if (!isKnownVolumeKind(disk.getVolumeKind())) {
        columns.physical = true;
    } else if (disk.isRemovable()) {
        columns.external = true;
        columns.physical = disk.isDisk();
    } else {
        columns.partition = true;
    }
    return columns;
}

std::string driveLabelFor(const Disk& disk) {
    const auto label = disk.getTheType() == "Disk" ? disk.getMediaName() : disk.getVolumeName();
    return label.value_or("Untitled");
}

}  // namespace norix
