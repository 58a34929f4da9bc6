#pragma once
// The keys of file-system tree records: an 8-byte header (object id and record type),
// then a body that depends on the type.
#include <optional>
#include <string>
#include <variant>

#include "records/apfs/ObjPhys.h"

namespace norix {

// Record types of the key header.
enum ApfsRecordType : uint8_t {
    kApfsAny = 0, kApfsPhysExtent = 2, kApfsInode = 3, kApfsXattr = 4, kApfsSiblingLink = 5,
    kApfsDstreamId = 6, kApfsFileExtent = 8, kApfsDirRecord = 9, kApfsSiblingMap = 12
};

struct JKeyT {
    uint32_t obj_id_and_type_low = 0;   // 0
    uint32_t obj_id_and_type_high = 0;  // 4
    // The object id is the low 60 bits: ids are kept whole, so ids that differ only
    // above bit 31 never meet.
    uint64_t _m_obj_id = 0;
    uint8_t _m_obj_type = 0;  // the top 4 bits
    static JKeyT initWithJKeyTBlock_Offset(ByteView block, size_t offset);
};

struct JEmptyKeyT {};
struct JSiblingKeyT {};  // sibling_id is not read

struct JExtentKeyT {
    uint64_t offset = 0;  // logical byte offset of the extent in the file
    static std::optional<JExtentKeyT> initJExtentKeyTWithBlock_Offset(ByteView block, size_t offset);
    uint64_t getOffset() const { return offset; }
};

struct JDrecKeyT {
    uint16_t name_len = 0;  // the low 10 bits of the length-and-hash word, the final zero included
    uint32_t hash = 0;      // its upper 22 bits
    std::string name;
    static std::optional<JDrecKeyT> initJDrecKeyWithBlock_Offset(ByteView block, size_t offset);
};

struct JXattrKeyT {
    uint16_t name_len = 0;
    std::string name;
    static std::optional<JXattrKeyT> initJXattrKeyWithBlock_Offset(ByteView block, size_t offset);
};

using JKeyBody = std::variant<std::monostate, JEmptyKeyT, JExtentKeyT, JDrecKeyT, JXattrKeyT, JSiblingKeyT>;

// The bytes up to the first zero, or to the end of the view.
std::string apfsCString(ByteView bytes);

}  // namespace norix
