#pragma once
// A read-only ZIP archive held in memory (libzip underneath). Every failure is
// thrown as std::runtime_error.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct zip;

namespace norix {

class ZipArchive {
public:
    // Opens the archive in data, which must outlive the object.
    explicit ZipArchive(std::span<const uint8_t> data);
    ~ZipArchive();  // closes the archive
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Index of the member whose full path is exactly name.
    std::optional<uint64_t> locate(const std::string& name) const;
    // The member's bytes; a member that inflates past maxSize bytes is refused.
    std::vector<uint8_t> extract(uint64_t index, size_t maxSize) const;

private:
    zip* archive_ = nullptr;
};

}  // namespace norix
