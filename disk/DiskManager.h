#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/Disk.h"

namespace norix {

// The list of disks and volumes of one catalogue, in the order they were added.
class DiskManager {
public:
    // Appends the disk; an APFS volume is linked to the last listed disk whose device
    // path is a proper prefix-substring of its own (its container).
    void addDisk(std::shared_ptr<Disk> disk);
    // Keeps only the disks the user may scan (isValidDisk), in order, and returns them.
    const std::vector<std::shared_ptr<Disk>>& getTheDisksArray();
    std::shared_ptr<Disk> getDiskAt(size_t index) const;
    size_t totalDisk() const { return disks_.size(); }
    const std::vector<std::shared_ptr<Disk>>& disks() const { return disks_; }
    void setDisks(std::vector<std::shared_ptr<Disk>> disks) { disks_ = std::move(disks); }

    static std::shared_ptr<Disk> getDiskFromBSDPath_inArray(const std::string& path,
                                                            const std::vector<std::shared_ptr<Disk>>& disks);
    static std::shared_ptr<Disk> getDiskWithName_inArray(const std::string& name,
                                                         const std::vector<std::shared_ptr<Disk>>& disks);
    static std::shared_ptr<Disk> getDiskFromSelectPath_inArray(const std::string& path,
                                                               const std::vector<std::shared_ptr<Disk>>& disks);

private:
    std::vector<std::shared_ptr<Disk>> disks_;
};

// Which drive-list columns a disk of the filtered catalogue belongs to.
struct DriveColumns {
    bool partition = false;  // "Select Drive"
    bool external = false;   // "External Drives"
    bool physical = false;   // "Physical Disk"
};
DriveColumns driveColumnsFor(Disk& disk);
// The label an entry shows: media name for a whole disk, else the volume name, else "Untitled".
std::string driveLabelFor(const Disk& disk);

}  // namespace norix
