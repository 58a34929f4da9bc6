#include "records/apfs/JValues.h"

#include "records/apfs/JKeys.h"

namespace norix {

namespace {
// A value of width bytes at offset, no further in than largest.
bool fits(ByteView block, size_t offset, size_t width, size_t largest) {
    return offset <= largest && block.has(offset, width);
}
}  // namespace

std::optional<JInodeValT> JInodeValT::initJInodeValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 92, 4003)) return std::nullopt;
    JInodeValT v;
    v.parent_id = block.u64le(offset);
    v.private_id = block.u64le(offset + 8);
    v.create_time = block.u64le(offset + 16);
    v.mod_time = block.u64le(offset + 24);
    v.change_time = block.u64le(offset + 32);
    v.access_time = block.u64le(offset + 40);
    v.internal_flags = block.u64le(offset + 48);
    v.nchildren_or_nlink = block.u32le(offset + 56);
    v.default_protection_class = block.u32le(offset + 60);
    v.write_generation_counter = block.u32le(offset + 64);
    v.bsd_flags = block.u32le(offset + 68);
    v.owner = block.u32le(offset + 72);
    v.group = block.u32le(offset + 76);
    v.mode = block.u16le(offset + 80);
    v.pad1 = block.u16le(offset + 82);
    v.pad2 = block.u64le(offset + 84);
    auto blob = XfBlobT::initXfBlobTWithBlock_Offset(block, offset + 92);
    if (!blob) return std::nullopt;
    v.xfields = std::move(*blob);
    return v;
}

std::optional<JExtentValT> JExtentValT::initJExtentValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 24, 4072)) return std::nullopt;
    // The top 8 bits of the first word are flags, not length.
    return JExtentValT{block.u64le(offset) & 0x00FFFFFFFFFFFFFF, block.u64le(offset + 8), block.u64le(offset + 16)};
}

std::optional<JDrecValT> JDrecValT::initJDrecValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 18, 4079)) return std::nullopt;
    return JDrecValT{block.u64le(offset), block.u64le(offset + 8), block.u16le(offset + 16)};
}

std::optional<JPhysExtValT> JPhysExtValT::initJPhysExtValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 20, 4078)) return std::nullopt;
    return JPhysExtValT{block.u32le(offset), block.u16le(offset + 4), block.u16le(offset + 6),
                        block.u64le(offset + 8), block.u32le(offset + 16)};
}

std::optional<JXattrValT> JXattrValT::initJXattrValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 4, 4091)) return std::nullopt;
    JXattrValT v{block.u16le(offset), block.u16le(offset + 2), {}};
    if (!block.has(offset + 4, v.xdata_length)) return std::nullopt;
    const auto data = block.bytes(offset + 4, v.xdata_length);
    v.xdata.assign(data.begin(), data.end());
    return v;
}

std::optional<JSiblingValT> JSiblingValT::initJSiblingValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 10, 4079)) return std::nullopt;
    JSiblingValT v{block.u64le(offset), block.u16le(offset + 8), {}};
    if (!block.has(offset + 10, v.name_len)) return std::nullopt;
    v.name = apfsCString(block.sub(offset + 10, v.name_len));
    return v;
}

std::optional<JSiblingMapValT> JSiblingMapValT::initJSiblingMapValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 8, 4088)) return std::nullopt;
    return JSiblingMapValT{block.u64le(offset)};
}

std::optional<JExtentRefcountValT> JExtentRefcountValT::initJExtentRefcountValTWithBlock_Offset(ByteView block,
                                                                                              size_t offset) {
    if (!fits(block, offset, 4, 4092)) return std::nullopt;
    return JExtentRefcountValT{block.u32le(offset)};
}

std::optional<PointerValT> PointerValT::initPointerValTWithBlock_Offset(ByteView block, size_t offset) {
    if (!fits(block, offset, 8, 4088)) return std::nullopt;
    return PointerValT{block.u64le(offset)};
}

}  // namespace norix
