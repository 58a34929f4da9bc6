#pragma once
// Set-up shared by the scan tests: image files as disks, the listed tree by path, and
// saving listed files to compare them with a fixture's manifest.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>

#include "scan/RecoveryModule.h"
#include "tests/support/TestSupport.h"

namespace norix::test {

// Records the engine's delegate calls in order, and whether the tree lock was held while
// the engine asked for a reload; onReload runs inside each reload.
class RecordingDelegate : public RecoveryToDelegate {
public:
    explicit RecordingDelegate(RecoveryModule& module) : module_(module) {}
    void quickCompleted() override { record("quickCompleted"); }
    void reloadOutlineData() override {
        if (module_.treeLock().try_lock_shared()) module_.treeLock().unlock_shared();
        else lockedDuringReload = true;
        record("reloadOutlineData");
        if (onReload) onReload();
    }
    void openLoadingWindow() override { record("openLoadingWindow"); }
    void setBSDPath(const std::string& path) override { record("setBSDPath " + path); }

    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::function<void()> onReload;
    std::atomic<bool> lockedDuringReload{false};

private:
    void record(const std::string& call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
    }
    RecoveryModule& module_;
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

// An image file as a disk of the given sector size; an empty kind leaves the file system
// to be found by the scan.
inline std::shared_ptr<Disk> imageDisk(const std::filesystem::path& path, uint64_t sectorSize = 512,
                                       const std::string& kind = "", const std::string& content = "") {
    DiskDescription description{{DiskKey::ImagePath, path.string()},
                                {DiskKey::MediaSize, static_cast<uint64_t>(std::filesystem::file_size(path))},
                                {DiskKey::MediaBlockSize, sectorSize}};
    if (!kind.empty()) description[DiskKey::VolumeKind] = kind;
    if (!content.empty()) description[DiskKey::MediaContent] = content;
    return std::make_shared<Disk>(description, std::vector<std::string>{});
}

// A committed fixture volume, tests/fixtures/NAME.img.zst, unpacked into dir, and its manifest.
inline std::filesystem::path unpack(const std::string& name, const TempDir& dir) {
    return unpackFixture(name, dir / (name + ".img"));
}
inline std::vector<ManifestEntry> manifestOf(const std::string& name) {
    return readManifest(std::filesystem::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / (name + ".manifest"));
}

// A node's child by name, or nullptr.
inline BaseTree* childNamed(const BaseTree* node, const std::string& name) {
    for (const auto& child : node->childrenArray)
        if (child->fileName == name) return child.get();
    return nullptr;
}

inline std::vector<std::string> childNames(const BaseTree* node) {
    std::vector<std::string> names;
    for (const auto& child : node->childrenArray) names.push_back(child->fileName);
    return names;
}

// Every node below a branch by its path relative to the branch ("/a/b.txt").
template <class Map>
void collect(const BaseTree* node, const std::string& prefix, Map& out) {
    for (const auto& child : node->childrenArray) {
        const std::string path = prefix + "/" + child->fileName;
        out.emplace(path, child.get());
        collect(child.get(), path, out);
    }
}

// The SHA-256 of the data a node describes, read from the device as saving reads it.
inline std::string dataSha(const BaseTree& node, const std::filesystem::path& device, const TempDir& dir) {
    const auto data = node.getDataForFileWithBSD(device.string());
    if (!data) return "unreadable";
    writeFile(dir / "data.bin", *data);
    return sha256Of(dir / "data.bin");
}

// Checks the listed files, saves them into out and expects each saved file to have the
// SHA-256 of its manifest entry.
inline void expectSavedByteExact(RecoveryModule& module,
                                 const std::vector<std::pair<const ManifestEntry*, BaseTree*>>& files,
                                 const std::filesystem::path& out) {
    {
        std::unique_lock lock(module.treeLock());
        for (const auto& [file, node] : files) {
            int64_t count = 0, bytes = 0;
            node->checked_withFileCount_andfileSize(true, count, bytes);
            node->setSelectedForParent();
        }
    }
    std::atomic<int64_t> savedFile{0}, savedSize{0};
    std::atomic<bool> stop{false};
    module.startSavingWithSavingPath_withSavingFileCount_andSavingSize_boolForStop(out.string(), savedFile, savedSize,
                                                                                  stop);
    for (const auto& [file, node] : files) {
        const std::filesystem::path saved = out / (node->pathName + "/" + node->fileName);
        ASSERT_TRUE(std::filesystem::exists(saved)) << saved;
        EXPECT_EQ(sha256Of(saved), file->sha256) << file->path;
    }
    std::printf("[ numbers  ] %zu files saved and compared byte for byte\n", files.size());
}

// Expects every file of a manifest below the branches (paths relative to them; a deleted
// short entry has lost its first letter, which reads as a space), deleted or not as the
// manifest says; saves each live file and each deleted one still intact into out.
inline void expectManifestListedAndSaved(RecoveryModule& module, const std::vector<ManifestEntry>& manifest,
                                         const std::vector<const BaseTree*>& branches,
                                         const std::filesystem::path& out) {
    std::map<std::string, const BaseTree*> nodes;
    for (const BaseTree* branch : branches) collect(branch, "", nodes);
    std::vector<std::pair<const ManifestEntry*, BaseTree*>> toSave;
    for (const auto& file : manifest) {
        std::string blanked = file.path;
        blanked[blanked.rfind('/') + 1] = ' ';
        auto found = nodes.find(file.path);
        if (found == nodes.end() && file.deleted) found = nodes.find(blanked);
        ASSERT_NE(found, nodes.end()) << file.path;
        EXPECT_EQ(found->second->fileSize, file.size) << file.path;
        EXPECT_EQ(found->second->deleted != 0, file.deleted) << file.path;
        if (!file.deleted || file.intact) toSave.emplace_back(&file, const_cast<BaseTree*>(found->second));
    }
    expectSavedByteExact(module, toSave, out);
}

}  // namespace norix::test
