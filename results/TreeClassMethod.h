#pragma once
// Operations on whole trees: fixed branches, count propagation, pruning, lookups,
// date and size display, UTF-16 byte swapping and the log. None of them locks: the
// caller holds the engine's tree lock (exclusive to link or unlink, shared to read).

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "results/BaseTree.h"
#include "results/SearchResult.h"

namespace norix {

class TreeClassMethod {
public:
    static std::unique_ptr<BaseTree> createNDIR();
    static std::unique_ptr<BaseTree> createRootWithName(const std::string& name);
    static std::unique_ptr<BaseTree> createNDIRWithName(const std::string& name);
    static void addQuickNodesInDir(BaseTree* root);
    static void addDeepNodesInDIR(BaseTree* root);
    static std::unique_ptr<BaseTree> createAndValuesFromDIR(const BaseTree* node);

    // Unlinks the node from its parent and fixes the ancestors' counts; returns it.
    static std::unique_ptr<BaseTree> removeDIR(BaseTree* node);
    static void addChildCountInDIR(BaseTree* node);
    static void reduceFileCountInDir(BaseTree* node);
    static void addChildCountInDIR_withCount(BaseTree* node, uint32_t count);
    static void reduceChildCountInDIR_withCount(BaseTree* node, uint32_t count);
    static void freeZeroChildFoldersFromNDIR(BaseTree* node);
    // Links child to parent (not into its list): parent id, path, and the deleted mark of
    // a deleted parent.
    static void addParent_toNDIR(BaseTree* parent, BaseTree* child);
    static void addDataExtStartBlock_blockCount_toDir(uint32_t startBlock, uint32_t blockCount, BaseTree* node);

    static BaseTree* searchForPath_inDir(const std::string& lowerPath, BaseTree* node);
    static BaseTree* searchForKeyWord_inNDIR(const std::string& keyword, BaseTree* node);
    static BaseTree* checkForParentInDIR_withID(BaseTree* node, uint32_t fileID);
    static bool checkForNDIR_withFileID_andNodeName(const BaseTree* node, uint32_t fileID, const std::string& name);
    static BaseTree* getNDIRFromLostAndFound_withExtensionName(BaseTree* lostAndFound, const std::string& name);
    static BaseTree* checkForParentForExFatAndFatWithStartSector_inParent(uint64_t sector, BaseTree* parent);

    // --- name search (results/NameSearch.cpp) ---
    // Adds to addInDir every node below node whose name contains the lower-cased
    // keyword in any case, depth-first in child order (a matching folder is searched
    // too); stops before the next node once flag is clear.
    static void searchForKeyWord_inNDIR_withflag_addInDir(const std::string& keyword, BaseTree* node,
                                                           const std::atomic<bool>& flag, SearchResult& addInDir);
    // Lower-cased as a name search compares names (letters beyond ASCII included).
    static std::string lowerCasedForSearch(const std::string& text);

    // HFS+ dates count seconds from 1904; Unix time from 1970.
    static constexpr int64_t kSecondsFrom1904To1970 = 2082844800;
    static std::string getDateFromValue(uint32_t secondsSince1904);
    static std::string getStringForDOSDate(uint32_t dosDateTime);
    // Scales the byte count in place and returns its unit ("KB" ... "ZB").
    static std::string checkSizeForNumber(double& size);
    // "%.2f %@" of a byte count.
    static std::string sizeText(uint64_t bytes);

    static void convertHostUniCharArrayToBig_length(std::span<uint16_t> units, size_t length);
    static void convertBigArrayToHost_length(std::span<uint16_t> units, size_t length);

    // Appends "<method> Exception: <message>\n" to an existing log file.
    static void writeError_inFile_forMethod(const std::string& message, const std::string& path,
                                            const std::string& method);
};

// Names of the fixed branches.
inline constexpr const char* kQuickScan = "Quick Scan";
inline constexpr const char* kExistingFiles = "Existing Files";
inline constexpr const char* kDeletedFiles = "Deleted Files";
inline constexpr const char* kDeepScan = "Deep Scan";
inline constexpr const char* kLostAndFound = "Lost and Found";
inline constexpr const char* kTags = "Tags";

}  // namespace norix
