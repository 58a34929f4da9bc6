#pragma once
// The extended fields of an inode: a count and the used size, descriptors of 4 bytes,
// then the values, each starting on an 8-byte boundary.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "records/apfs/ObjPhys.h"

namespace norix {

struct XFieldT {
    static constexpr uint8_t kName = 4, kDataStream = 8;
    uint8_t x_type = 0;   // 0
    uint8_t x_flags = 0;  // 1
    uint16_t x_size = 0;  // 2
    static XFieldT initXFieldTWithBlock_Offset(ByteView block, size_t offset);
};

// A name field: the bytes up to the first zero.
struct XfName {
    std::string name;
    static XfName initXfNameWithBlock(ByteView value);
};

// A data-stream field.
struct XfSize {
    uint64_t size = 0;         // 0: the file's logical size
    uint64_t stored_size = 0;  // 8
    uint64_t unknown_16 = 0, unknown_size = 0, unknown_32 = 0;  // 16, 24, 32
    static XfSize initXfSizeWithBlock(ByteView value);
};

using XfValue = std::variant<std::monostate, XfName, XfSize>;

struct XfBlobT {
    uint16_t xf_num_exts = 0;   // 0
    uint16_t xf_used_data = 0;  // 2
    std::vector<XFieldT> xf_data;
    std::vector<XfValue> xf;  // one per descriptor; monostate where nothing is decoded
    static std::optional<XfBlobT> initXfBlobTWithBlock_Offset(ByteView block, size_t offset);
};

}  // namespace norix
