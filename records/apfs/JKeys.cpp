#include "records/apfs/JKeys.h"

#include <algorithm>

namespace norix {

std::string apfsCString(ByteView bytes) {
    const auto span = bytes.span();
    return std::string(span.begin(), std::find(span.begin(), span.end(), uint8_t{0}));
}

JKeyT JKeyT::initWithJKeyTBlock_Offset(ByteView block, size_t offset) {
    JKeyT key;
    key.obj_id_and_type_low = block.u32le(offset);
    key.obj_id_and_type_high = block.u32le(offset + 4);
    const uint64_t word = uint64_t{key.obj_id_and_type_high} << 32 | key.obj_id_and_type_low;
    key._m_obj_id = word & 0x0FFFFFFFFFFFFFFF;
    key._m_obj_type = static_cast<uint8_t>(word >> 60);
    return key;
}

std::optional<JExtentKeyT> JExtentKeyT::initJExtentKeyTWithBlock_Offset(ByteView block, size_t offset) {
    if (offset > 4088) return std::nullopt;
    return JExtentKeyT{block.u64le(offset)};
}

std::optional<JDrecKeyT> JDrecKeyT::initJDrecKeyWithBlock_Offset(ByteView block, size_t offset) {
    if (offset > 4091) return std::nullopt;
    const uint32_t word = block.u32le(offset);
    JDrecKeyT key{static_cast<uint16_t>(word & 0x3FF), word >> 10, {}};
    if (offset + 4 + key.name_len >= kApfsBlockBytes) return std::nullopt;
    key.name = apfsCString(block.sub(offset + 4, key.name_len));
    return key;
}

std::optional<JXattrKeyT> JXattrKeyT::initJXattrKeyWithBlock_Offset(ByteView block, size_t offset) {
    if (offset > 4094) return std::nullopt;
    JXattrKeyT key{block.u16le(offset), {}};
    if (offset + 2 + key.name_len < kApfsBlockBytes) key.name = apfsCString(block.sub(offset + 2, key.name_len));
    return key;
}

}  // namespace norix
