#include "records/apfs/BtreeNodePhysT.h"

namespace norix {

namespace {

constexpr size_t kNodeHeaderEnd = 56;
constexpr size_t kTreeInfoBytes = 40;

JKeyBody keyBody(ByteView block, const JKeyT& header, size_t body) {
    switch (header._m_obj_type) {
    case kApfsAny: case kApfsPhysExtent: case kApfsInode: case kApfsDstreamId: case kApfsSiblingMap:
        return JEmptyKeyT{};
    case kApfsXattr:
        if (auto k = JXattrKeyT::initJXattrKeyWithBlock_Offset(block, body)) return *k;
        return {};
    case kApfsSiblingLink: return JSiblingKeyT{};
    case kApfsFileExtent:
        if (auto k = JExtentKeyT::initJExtentKeyTWithBlock_Offset(block, body)) return *k;
        return {};
    case kApfsDirRecord:
        if (auto k = JDrecKeyT::initJDrecKeyWithBlock_Offset(block, body)) return *k;
        return {};
    default: return {};
    }
}

template <class T>
JValue optionalValue(std::optional<T> value) {
    if (value) return std::move(*value);
    return {};
}

JValue leafValue(ByteView block, uint8_t type, size_t at) {
    switch (type) {
    case kApfsAny: return JSiblingValT{};  // not read
    case kApfsPhysExtent: return optionalValue(JPhysExtValT::initJPhysExtValTWithBlock_Offset(block, at));
    case kApfsInode: return optionalValue(JInodeValT::initJInodeValTWithBlock_Offset(block, at));
    case kApfsXattr: return optionalValue(JXattrValT::initJXattrValTWithBlock_Offset(block, at));
    case kApfsSiblingLink: return optionalValue(JSiblingValT::initJSiblingValTWithBlock_Offset(block, at));
    case kApfsDstreamId:
        return optionalValue(JExtentRefcountValT::initJExtentRefcountValTWithBlock_Offset(block, at));
    case kApfsFileExtent: return optionalValue(JExtentValT::initJExtentValTWithBlock_Offset(block, at));
    case kApfsDirRecord: return optionalValue(JDrecValT::initJDrecValTWithBlock_Offset(block, at));
    case kApfsSiblingMap: return optionalValue(JSiblingMapValT::initJSiblingMapValTWithBlock_Offset(block, at));
    default: return {};
    }
}

}  // namespace

BtreeNodePhysT BtreeNodePhysT::headerOf(ByteView block) {
    BtreeNodePhysT node;
    node.btn_flags = block.u16le(32);
    node.btn_level = block.u16le(34);
    node.btn_nkeys = block.u32le(36);
    node.btn_table_space = Nloc::initWithNlocBlock_Offfset(block, 40);
    node.btn_free_space = Nloc::initWithNlocBlock_Offfset(block, 44);
    node.btn_key_free_list = Nloc::initWithNlocBlock_Offfset(block, 48);
    node.btn_val_free_list = Nloc::initWithNlocBlock_Offfset(block, 52);
    return node;
}

std::optional<BtreeNodePhysT::Place> BtreeNodePhysT::placeOf(ByteView block, uint32_t i, size_t fixedKey,
                                                             size_t fixedValue) const {
    if (block.size() != kApfsBlockBytes) return std::nullopt;
    const bool fixed = (btn_flags & kFixedKeyValue) != 0;
    const size_t toc = kNodeHeaderEnd + btn_table_space.Off + size_t{i} * (fixed ? 4 : 8);
    if (!block.has(toc, fixed ? 4 : 8)) return std::nullopt;
    Place p;
    const uint16_t keyOffset = block.u16le(toc);
    const uint16_t valueOffset = block.u16le(toc + (fixed ? 2 : 4));
    p.keyLength = fixed ? fixedKey : block.u16le(toc + 2);
    p.valueLength = fixed ? fixedValue : block.u16le(toc + 6);
    p.key = kNodeHeaderEnd + btn_table_space.Off + btn_table_space.len + keyOffset;
    const size_t valuesEnd = kApfsBlockBytes - ((btn_flags & kRoot) ? kTreeInfoBytes : 0);
    if (valueOffset == 0 || valueOffset > valuesEnd) return std::nullopt;
    p.value = valuesEnd - valueOffset;
    if (!block.has(p.key, p.keyLength) || !block.has(p.value, p.valueLength)) return std::nullopt;
    return p;
}

std::optional<NodeEntry> NodeEntry::initWithNodeEntryBlock_iterationNo_treeFlags_btn_TableSpace_len_btnLevel(
    ByteView block, uint32_t iterationNo, uint16_t treeFlags, Nloc btnTableSpace, uint16_t btnLevel) {
    BtreeNodePhysT node;
    node.btn_flags = treeFlags;
    node.btn_table_space = btnTableSpace;
    const auto place = node.placeOf(block, iterationNo);
    // The key header's 8 bytes must lie inside the block.
    if (!place || place->key + 8 > kApfsBlockBytes) return std::nullopt;
    NodeEntry entry;
    const bool fixed = (treeFlags & BtreeNodePhysT::kFixedKeyValue) != 0;
    const size_t toc = 56 + btnTableSpace.Off + size_t{iterationNo} * (fixed ? 4 : 8);
    entry.key_offset = block.u16le(toc);
    entry.key_length = static_cast<uint16_t>(place->keyLength);
    entry.data_offset = block.u16le(toc + (fixed ? 2 : 4));
    entry.data_length = static_cast<uint16_t>(place->valueLength);
    entry._m_j_key_t = JKeyT::initWithJKeyTBlock_Offset(block, place->key);
    entry._m_key = keyBody(block, entry._m_j_key_t, place->key + 8);
    entry._m_val = btnLevel == 0 ? leafValue(block, entry.getObjKeyType(), place->value)
                                 : optionalValue(PointerValT::initPointerValTWithBlock_Offset(block, place->value));
    if (std::holds_alternative<std::monostate>(entry._m_val)) return std::nullopt;
    return entry;
}

std::optional<BtreeNodePhysT> BtreeNodePhysT::initWithBtreeNodePhysTBlock(ByteView block) {
    BtreeNodePhysT node = headerOf(block);
    if (node.btn_nkeys > kMaxKeys) return std::nullopt;
    for (uint32_t i = 0; i < node.btn_nkeys; ++i) {
        auto entry = NodeEntry::initWithNodeEntryBlock_iterationNo_treeFlags_btn_TableSpace_len_btnLevel(
            block, i, node.btn_flags, node.btn_table_space, node.btn_level);
        if (!entry) return std::nullopt;
        node.btn_data.push_back(std::move(*entry));
    }
    return node;
}

std::optional<Obj> Obj::initWithObjBlock(ByteView block) {
    Obj obj;
    obj.hdr = ObjPhys::initWithObjPhysBlock(block);
    const uint16_t f = obj.hdr.o_flags;
    if (f != 0 && f != 0x1000 && f != 0x2000 && f != 0x4000 && f != 0x8000) return std::nullopt;
    if (obj.hdr.o_type != 2 && obj.hdr.o_type != 3) return std::nullopt;
    auto body = BtreeNodePhysT::initWithBtreeNodePhysTBlock(block);
    if (!body) return std::nullopt;
    obj.body = std::move(*body);
    return obj;
}

}  // namespace norix
