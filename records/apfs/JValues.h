#pragma once
// The values of file-system tree records, by record type, and the child pointer of
// index nodes. Each answers nothing when it would not fit in the block.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "records/apfs/XfBlobT.h"

namespace norix {

struct JInodeValT {
    static constexpr uint16_t kModeTypeMask = 0xF000, kModeFolder = 0x4000;
    uint64_t parent_id = 0;      // 0
    uint64_t private_id = 0;     // 8: the id its data stream's extents are filed under
    uint64_t create_time = 0;    // 16, ns since 1970
    uint64_t mod_time = 0;       // 24
    uint64_t change_time = 0;    // 32
    uint64_t access_time = 0;    // 40
    uint64_t internal_flags = 0;            // 48
    uint32_t nchildren_or_nlink = 0;        // 56
    uint32_t default_protection_class = 0;  // 60
    uint32_t write_generation_counter = 0;  // 64
    uint32_t bsd_flags = 0, owner = 0, group = 0;  // 68, 72, 76
    uint16_t mode = 0;  // 80
    uint16_t pad1 = 0;  // 82
    uint64_t pad2 = 0;  // 84
    XfBlobT xfields;    // 92
    static std::optional<JInodeValT> initJInodeValTWithBlock_Offset(ByteView block, size_t offset);
    bool isFolder() const { return (mode & kModeTypeMask) == kModeFolder; }
};

struct JExtentValT {
    uint64_t len = 0;             // 0: the low 56 bits of the length-and-flags word, in bytes
    uint64_t phys_block_num = 0;  // 8
    uint64_t flags = 0;           // 16
    static std::optional<JExtentValT> initJExtentValTWithBlock_Offset(ByteView block, size_t offset);
};

struct JDrecValT {
    uint64_t file_id = 0;     // 0
    uint64_t date_added = 0;  // 8
    uint16_t flags = 0;       // 16
    static std::optional<JDrecValT> initJDrecValTWithBlock_Offset(ByteView block, size_t offset);
};

struct JPhysExtValT {
    uint32_t block_count = 0;  // 0
    uint16_t unknown_4 = 0;    // 4
    uint16_t block_size = 0;   // 6
    uint64_t inode = 0;        // 8
    uint32_t unknown_16 = 0;   // 16
    static std::optional<JPhysExtValT> initJPhysExtValTWithBlock_Offset(ByteView block, size_t offset);
};

struct JXattrValT {
    uint16_t flags = 0;         // 0
    uint16_t xdata_length = 0;  // 2
    std::vector<uint8_t> xdata;  // 4
    static std::optional<JXattrValT> initJXattrValTWithBlock_Offset(ByteView block, size_t offset);
};

struct JSiblingValT {
    uint64_t parent_id = 0;  // 0
    uint16_t name_len = 0;   // 8
    std::string name;        // 10
    static std::optional<JSiblingValT> initJSiblingValTWithBlock_Offset(ByteView block, size_t offset);
};

struct JSiblingMapValT {
    uint64_t file_id = 0;
    static std::optional<JSiblingMapValT> initJSiblingMapValTWithBlock_Offset(ByteView block, size_t offset);
};

struct JExtentRefcountValT {
    uint32_t count = 0;
    static std::optional<JExtentRefcountValT> initJExtentRefcountValTWithBlock_Offset(ByteView block, size_t offset);
};

struct PointerValT {
    OidT pointer = 0;
    static std::optional<PointerValT> initPointerValTWithBlock_Offset(ByteView block, size_t offset);
};

using JValue = std::variant<std::monostate, JInodeValT, JExtentValT, JDrecValT, JPhysExtValT, JXattrValT,
                            JSiblingValT, JSiblingMapValT, JExtentRefcountValT, PointerValT>;

}  // namespace norix
