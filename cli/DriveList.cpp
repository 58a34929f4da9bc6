#include "cli/DriveList.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Escape.h"
#include "results/TreeClassMethod.h"

namespace norix::cli {

namespace {

// "%d GB" for a whole disk, "%.2f %@ free in %.2f %@" for a volume.
std::string sizeLine(const Disk& disk) {
    char text[96];
    if (disk.getTheType() == "Disk") {
        std::snprintf(text, sizeof text, "%d GB", static_cast<int>(disk.getDiskSize() >> 30));
        return text;
    }
    double freeSize = static_cast<double>(disk.getAvailableSize());
    double totalSize = static_cast<double>(disk.getDiskSize());
    const std::string freeUnit = TreeClassMethod::checkSizeForNumber(freeSize);
    const std::string totalUnit = TreeClassMethod::checkSizeForNumber(totalSize);
    std::snprintf(text, sizeof text, "%.2f %s free in %.2f %s", freeSize, freeUnit.c_str(), totalSize,
                  totalUnit.c_str());
    return text;
}

struct Column {
    const char* title;
    std::vector<Disk*> disks;
};

}  // namespace

void printDrives(DiskManager& manager, bool json, std::FILE* out) {
    Column columns[] = {{"Select Drive", {}}, {"External Drives", {}}, {"Physical Disk", {}}};
    for (const auto& disk : manager.getTheDisksArray()) {
        const DriveColumns where = driveColumnsFor(*disk);
        if (where.partition) columns[0].disks.push_back(disk.get());
        if (where.external) columns[1].disks.push_back(disk.get());
        if (where.physical) columns[2].disks.push_back(disk.get());
    }

    if (json) {
        nlohmann::ordered_json document = nlohmann::ordered_json::object();
        for (const auto& column : columns) {
            auto& entries = document[column.title] = nlohmann::ordered_json::array();
            for (const Disk* disk : column.disks)
                entries.push_back({{"label", driveLabelFor(*disk)},
                                   {"path", disk->getBSDPath().value_or("")},
                                   {"size", disk->getDiskSize()},
                                   {"sizeText", sizeLine(*disk)},
                                   {"volumeKind", disk->getVolumeKind().value_or("")},
                                   {"type", disk->getTheType().value_or("")},
                                   {"scanType", &column == &columns[2] ? "D" : "Q"}});
        }
        // A label is the volume's own bytes, not always UTF-8.
        std::fprintf(out, "%s\n", document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    for (const auto& column : columns) {
        std::fprintf(out, "%s (%zu)\n", column.title, column.disks.size());
        for (const Disk* disk : column.disks)
            std::fprintf(out, "  %-24s %-16s %s\n", terminalSafe(driveLabelFor(*disk)).c_str(),
                         disk->getBSDPath().value_or("").c_str(), sizeLine(*disk).c_str());
    }
}

}  // namespace norix::cli
