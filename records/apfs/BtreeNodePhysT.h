#pragma once
// A B-tree node: the object header, a 24-byte node header at 32, the table of
// contents at 56 (+ table_space.Off), keys after it, values counted back from the
// block's end (from 4056 in a root node, whose last 40 bytes describe the tree).
#include <optional>
#include <utility>
#include <vector>

#include "records/apfs/JKeys.h"
#include "records/apfs/JValues.h"

namespace norix {

// One entry of a file-system tree node, with its key and value decoded.
struct NodeEntry {
    uint16_t key_offset = 0, key_length = 0, data_offset = 0, data_length = 0;
    JKeyT _m_j_key_t;
    JKeyBody _m_key;
    JValue _m_val;
    // Entry i of the node (the table's place given whole, its offset too); nothing when
    // its key or value lies outside the block or its record type has no value.
    static std::optional<NodeEntry> initWithNodeEntryBlock_iterationNo_treeFlags_btn_TableSpace_len_btnLevel(
        ByteView block, uint32_t iterationNo, uint16_t treeFlags, Nloc btnTableSpace, uint16_t btnLevel);
    uint8_t getObjKeyType() const { return _m_j_key_t._m_obj_type; }
    uint64_t getObjKeyId() const { return _m_j_key_t._m_obj_id; }
};

struct BtreeNodePhysT {
    static constexpr uint16_t kRoot = 1, kLeaf = 2, kFixedKeyValue = 4;
    static constexpr uint32_t kMaxKeys = 4096;
    uint16_t btn_flags = 0;  // 32
    uint16_t btn_level = 0;  // 34
    uint32_t btn_nkeys = 0;  // 36
    Nloc btn_table_space, btn_free_space, btn_key_free_list, btn_val_free_list;  // 40, 44, 48, 52
    std::vector<NodeEntry> btn_data;

    // The node header alone, entries undecoded.
    static BtreeNodePhysT headerOf(ByteView block);
    // A file-system tree node with every entry decoded; nothing when one fails.
    static std::optional<BtreeNodePhysT> initWithBtreeNodePhysTBlock(ByteView block);
    const std::vector<NodeEntry>& getDataArray() const { return btn_data; }
    // Where entry i's key and value start in the block, and their lengths (the given
    // fixed sizes for a node of fixed-size entries); nothing when either lies outside.
    struct Place {
        size_t key = 0, keyLength = 0, value = 0, valueLength = 0;
    };
    std::optional<Place> placeOf(ByteView block, uint32_t i, size_t fixedKey = 0, size_t fixedValue = 0) const;
};

// An object block that holds a B-tree node.
struct Obj {
    ObjPhys hdr;
    BtreeNodePhysT body;
    static std::optional<Obj> initWithObjBlock(ByteView block);
    uint16_t getObjectType() const { return hdr.o_type; }
    uint16_t getFlags() const { return hdr.o_flags; }
    uint32_t getSubType() const { return hdr.o_subtype; }
    const std::vector<NodeEntry>& getDataArray() const { return body.btn_data; }
};

}  // namespace norix
