#pragma once
// One file type of the catalogue: its header bytes, where they stand in a file, and
// how much of a file of this type to recover.

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace norix {

class Sig {
public:
    bool preInstalled = false;  // shipped with the system, not added by the user
    uint8_t categoryID = 0;
    std::string category;
    uint32_t typeOfFile = 0;   // 0 for user-added types
    std::string software;      // the type's display name
    std::string extension;     // without a dot; compared case-sensitively
    uint16_t offset = 0;       // of the header in the file, 0 to 512
    uint8_t headerLength = 0;  // 1 to 8
    uint64_t header = 0;       // the header bytes, first byte most significant
    uint32_t defaultSize = 0;  // in MiB
    uint64_t userSize = 0, foundSize = 0, skipSize = 0;
    bool skipFileSize = false;

    // The catalogue file's object for this type, under its archive keys.
    nlohmann::json encode() const;
    // Throws std::runtime_error when a field is missing, of the wrong kind or out of range.
    static Sig decode(const nlohmann::json& object);
};

}  // namespace norix
