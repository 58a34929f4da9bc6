#pragma once
// What every format checker answers for one signature hit. One checker object serves
// a whole scan, so its embedded-preview fields describe only the latest hit.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace norix {

class Checker {
public:
    virtual ~Checker() = default;
    // A checker of the same type with its own fields, for another thread of the sweep.
    virtual std::shared_ptr<Checker> clone() const = 0;

    // Size in bytes of the file that starts in this sector; 0 when none does.
    virtual uint64_t fileSizeCalculation_withSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector,
                                                                              uint64_t sectorNumber,
                                                                              uint32_t blockSize,
                                                                              const std::string& bsdPath) = 0;
    // A usable JPEG preview was found inside the file last sized.
    virtual bool isJPGPresent() const { return false; }
    virtual uint64_t jpgFileOffset() const { return 0; }
    virtual uint64_t extraByteForJPGOffset() const { return 0; }
    virtual uint64_t jpgFileSize() const { return 0; }
    // The extension under which hits are filed; nothing for the office checkers.
    virtual std::optional<std::string> parentKey() const { return std::nullopt; }
    // The first byte of the format's signature, for the formats that name one.
    virtual uint8_t firstByteOfHeader() const { return 0; }
    // User-defined types only: does this sector start a file of the type?
    virtual bool isFile_andSectorNumber_blockSize_andBSDPath(std::span<const uint8_t> sector, uint64_t sectorNumber,
                                                            uint32_t blockSize, const std::string& bsdPath) {
        (void)sector, (void)sectorNumber, (void)blockSize, (void)bsdPath;
        return false;
    }
};

// The checkers of the types selected for one scan: one per extension, plus the
// user-defined types (filed under "Other"), tried in order.
struct SelectedSigArray {
    std::map<std::string, std::shared_ptr<Checker>> byExtension;
    std::vector<std::shared_ptr<Checker>> other;

    bool empty() const { return byExtension.empty() && other.empty(); }
    // The same selection with checkers of its own: a checker keeps the fields of its latest
    // hit, so each thread that sizes files needs its own.
    SelectedSigArray clone() const {
        SelectedSigArray copy;
        for (const auto& [extension, checker] : byExtension) copy.byExtension.emplace(extension, checker->clone());
        for (const auto& checker : other) copy.other.push_back(checker->clone());
        return copy;
    }
};

}  // namespace norix
