#pragma once
// One node of the result tree (an NDIR): a folder or file found on the device, or
// one of the fixed branches. A node owns its children and extents; the parent link
// is weak. Nodes hold no views: a UI observes the plain flags below.

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/ByteView.h"
#include "results/DataExt.h"
#include "results/SaveRun.h"
#include "results/SharedText.h"

namespace norix {

class BaseTree {
public:
    BaseTree() = default;
    ~BaseTree();  // tears the subtree down without recursing once per level
    BaseTree(const BaseTree&) = delete;
    BaseTree& operator=(const BaseTree&) = delete;

    // --- fields (public, as every Part reads and writes them) ---
    int32_t selected = 0;     // tri-state check mark: 0 none, 1 partly, 2 all
    uint8_t checked = 0;      // the node itself is checked for saving
    uint8_t corrupted = 0;    // preview or thumbnail generation failed
    uint8_t bPreview = 0;     // a preview image is cached (by the UI)
    uint8_t bThumbnail = 0;   // a thumbnail source is cached (by the UI)
    uint8_t rearrange = 0;    // check-box views must be redrawn
    uint8_t entry = 0;        // origin: 1 FAT32, 2 exFAT, 3 HFS+, 4 APFS, 6 raw JPEG
    uint8_t deleted = 0;
    uint8_t scanCompleted = 0;  // scan branches: 0 not started, 1 running, 2 done, 3 stopped
    uint8_t VALID = 0;        // check-box views exist
    uint8_t incomplete = 0;   // the data runs known do not cover fileSize; saving writes what they cover
    uint16_t fileType = 0;    // 1 folder, 2 file
    uint32_t SPC = 0;
    uint32_t createDate = 0;
    uint32_t modDate = 0;
    uint32_t parentID = 0;
    uint32_t fileID = 0;
    uint32_t fileCount = 0;      // files below, all depths
    uint32_t folderCount = 0;    // direct folder children
    uint32_t childrenCount = 0;  // nodes below, all depths
    uint32_t clustToRead = 0;
    uint32_t blockSize = 0;
    uint64_t fileSize = 0;
    uint64_t blocksStartsAtSector = 0;
    uint64_t startRange = 0;
    uint64_t endrange = 0;
    uint64_t presentSector = 0;
    std::string fileName;
    SharedText pathName;  // shared with the siblings linked below the same folder
    std::vector<std::unique_ptr<BaseTree>> childrenArray;
    BaseTree* pndirPointer = nullptr;
    ExtentList dataExtArray;

    // --- view state ---
    void createButtons() { VALID = 1; }
    void freeButton() { VALID = 0; }
    void setRearrange() { rearrange = 1; }
    void setButtonImage() { rearrange = 1; }

    // --- setters used by the scan engine ---
    void setentry(uint8_t v) { entry = v; }
    void setdelete(uint8_t v) { deleted = v; }
    void setscanCompleted(uint8_t v) { scanCompleted = v; }
    void setName(const std::string& name);  // drops every "\r"
    void setPath(const std::string& path) { pathName = path; }
    void setFileTypes(uint16_t v) { fileType = v; }
    void setspc(uint32_t v) { SPC = v; }
    void setcreatedDate(uint32_t v) { createDate = v; }
    void setmodifiedDate(uint32_t v) { modDate = v; }
    void setparentID(uint32_t v) { parentID = v; }
    void setfileID(uint32_t v) { fileID = v; }
    void setfileCount(uint32_t v) { fileCount = v; }
    void setfolderCount(uint32_t v) { folderCount = v; }
    void setchildrensCount(uint32_t v) { childrenCount = v; }
    void setClusterToRead(uint32_t v) { clustToRead = v; }
    void setblockSize(uint32_t v) { blockSize = v; }
    void setfileSize(uint64_t v) { fileSize = v; }
    void setblockSstartsAtSector(uint64_t v) { blocksStartsAtSector = v; }
    void setstartRange(uint64_t v) { startRange = v; }
    void setendRange(uint64_t v) { endrange = v; }
    void setpresentSect(uint64_t v) { presentSector = v; }
    void setparent(BaseTree* p) { pndirPointer = p; }

    // Appends without touching counts or the parent link; returns the linked node.
    BaseTree* addChild(std::unique_ptr<BaseTree> child);
    void addDataExt(DataExt ext) { dataExtArray.push_back(ext); }
    BaseTree* getChildAtIndex(size_t index) const;
    BaseTree* getParent() const { return pndirPointer; }
    size_t childCount() const { return childrenArray.size(); }

    // Folder children; with the flag set on "Deep Scan", children named "...HFS..." are hidden.
    uint32_t getFolderCountWithFlag(bool hideHFS) const;
    BaseTree* getChildFolderinIndex_withflag(size_t index, bool hideHFS) const;

    std::optional<std::string> getExtension() const;
    std::string getDateInString() const;
    // The display date parsed back ("MM-dd-yyyy", local midnight); nothing for no date.
    std::optional<std::time_t> getDateInDateFormat() const;
    std::string description() const;

    // --- check marks ---
    void setChecked(uint8_t v) { checked = v; }
    uint8_t getChecked() const { return checked; }
    int32_t getSelected() const { return selected; }
    // Checks (flag true) or unchecks the node and its subtree; file nodes add or
    // subtract themselves from the caller's running totals.
    void checked_withFileCount_andfileSize(bool flag, int64_t& fileTotal, int64_t& byteTotal);
    bool isAllChecked() const;
    bool isAllUnChecked() const;
    void setSelected();
    void setSelectedForParent();

    // --- saving: copies checked nodes out of the device, which is only ever read ---
    // Saves this node (a folder: its checked descendants too) into the open folder parent.
    void saveFileWithdiskPath_andSavingPath_withFileManager_withFileCount_andFileSize_boolForStop(
        SaveRun& run, const SaveFolder& parent);
    // Settles the name in the folder, creates the file and writes its data; a file cut
    // short by a stop or a write error is removed again.
    void saveFileWithStartSector_blockCount_withBlockSize_diskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
        SaveRun& run, const SaveFolder& folder);
    // Writes the data by extents into the open file; the bytes the device could not read
    // are written as zeros and added to lost, as offsets in the file.
    WriteOutcome saveFileWithdiskPath_andSavePath_withFileManager_withFileCount_andFileSize_boolForStop(
        SaveRun& run, int fd, std::vector<ByteRange>& lost);
    // The name itself when free in the folder, else the first free "name (n).ext" that
    // fits in 255 bytes; nothing when none is free up to a bound.
    static std::optional<std::string> getRenamedStringWithString_andFileManager(const std::string& name, int folderFd);
    // The file's whole data, cut to fileSize, with zeros for sectors that cannot be read;
    // nothing when the device cannot be opened.
    std::optional<std::vector<uint8_t>> getDataForFileWithBSD(const std::string& diskPath) const;
    // A raw JPEG fragment's data, read the same way; nothing when the device cannot be
    // opened or the extent cannot hold it. Given lost, the bytes that could not be read
    // are added to it as offsets in the fragment.
    std::optional<std::vector<uint8_t>> getDataForRawJPGWithBSD(const std::string& diskPath,
                                                                std::vector<ByteRange>* lost = nullptr,
                                                                uint32_t sectorBytes = 512) const;

    // --- recovery session (the file layout is in results/RecoverySession.h) ---
    // Appends this node's own record, without its children, to writeData.
    void setWriteableData(std::vector<uint8_t>& writeData) const;
    // Fills this node from the record at position and reads its subtree, advancing
    // position past it; takes parent's marks and path (the owner of this node lists
    // it among parent's children). Throws std::runtime_error, saying where, on bytes
    // cut short or not a session's: what was read before stays linked.
    void createNDIRFrombytes_withPosition_andParent(ByteView bytes, size_t& position, BaseTree* parent);

    // --- preview cache flags (the images live in the UI) ---
    void setCorrupted(uint8_t v) { corrupted = v; }
    uint8_t getCorrupted() const { return corrupted; }
    void setBPreview(uint8_t v) { bPreview = v; }
    uint8_t getBPreview() const { return bPreview; }
    void setBThumbnail(uint8_t v) { bThumbnail = v; }
    uint8_t getBThumbnail() const { return bThumbnail; }
};

}  // namespace norix
