// One node's record in a recovery session, written and read back (the layout is in
// results/RecoverySession.h). Reading trusts nothing: every length and count is
// checked against the bytes that are left before anything is built from it.
#include <stdexcept>
#include <string>

#include "results/BaseTree.h"
#include "results/TreeClassMethod.h"

namespace norix {

namespace {

constexpr size_t kFixedRecordSize = 72;
// A length field counts at most this many UTF-16 units.
constexpr size_t kMostUnits = 0xFFFF;

void put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, static_cast<uint16_t>(value >> 16));
    put16(out, static_cast<uint16_t>(value));
}

void put64(std::vector<uint8_t>& out, uint64_t value) {
    put32(out, static_cast<uint32_t>(value >> 32));
    put32(out, static_cast<uint32_t>(value));
}

// The text in UTF-16 units, whole unless it is longer than a length field can count;
// then cut to that, never between the two halves of a surrogate pair.
std::u16string storedUnits(const std::string& text) {
    std::u16string units = utf8ToUtf16(text);
    if (units.size() > kMostUnits) {
        const bool splitsPair = units[kMostUnits - 1] >= 0xD800 && units[kMostUnits - 1] <= 0xDBFF;
        units.resize(splitsPair ? kMostUnits - 1 : kMostUnits);
    }
    return units;
}

std::runtime_error cutShort(size_t record) {
    return std::runtime_error("The recovery session is cut short: it ends inside the node record at byte " +
                              std::to_string(record));
}

std::runtime_error notASession(size_t record, const char* field, unsigned value) {
    return std::runtime_error("Not a recovery session: the node record at byte " + std::to_string(record) + " has " +
                              field + " " + std::to_string(value));
}

// What a record says beyond the node's own fields.
struct RecordTail {
    uint32_t childRecords = 0;
    std::string storedPath;
};

// Reads the record at position into node; position moves past it only when the whole
// record was there.
RecordTail readRecord(ByteView bytes, size_t& position, BaseTree& node) {
    const size_t start = position;
    if (!bytes.has(start, kFixedRecordSize)) throw cutShort(start);
    const ByteView fixed = bytes.sub(start, kFixedRecordSize);
    // Values no writer produces tell a foreign file from a session.
    if (fixed.u8(0) > 6) throw notASession(start, "origin", fixed.u8(0));
    if (fixed.u8(1) > 1) throw notASession(start, "deleted flag", fixed.u8(1));
    if (fixed.u16be(6) > 2) throw notASession(start, "file type", fixed.u16be(6));
    node.entry = fixed.u8(0);
    node.deleted = fixed.u8(1);
    const size_t nameUnits = fixed.u16be(2);
    const size_t pathUnits = fixed.u16be(4);
    node.fileType = fixed.u16be(6);
    node.SPC = fixed.u32be(8);
    node.createDate = fixed.u32be(12);
    node.modDate = fixed.u32be(16);
    node.parentID = fixed.u32be(20);
    node.fileID = fixed.u32be(24);
    node.fileCount = fixed.u32be(28);
    node.folderCount = fixed.u32be(32);
    node.childrenCount = fixed.u32be(36);
    RecordTail tail;
    tail.childRecords = fixed.u32be(40);
    node.clustToRead = fixed.u32be(44);
    node.blockSize = fixed.u32be(48);
    const size_t extents = fixed.u32be(52);
    node.fileSize = fixed.u64be(56);
    node.blocksStartsAtSector = fixed.u64be(64);

    size_t at = start + kFixedRecordSize;
    if (!bytes.has(at, 2 * nameUnits + 2 * pathUnits + 8 * extents)) throw cutShort(start);
    node.fileName = utf16ToUtf8(bytes.sub(at, 2 * nameUnits), Endian::Big, false);
    at += 2 * nameUnits;
    tail.storedPath = utf16ToUtf8(bytes.sub(at, 2 * pathUnits), Endian::Big, false);
    at += 2 * pathUnits;
    node.dataExtArray.reserve(extents);
    for (size_t i = 0; i < extents; ++i, at += 8) node.addDataExt(DataExt(bytes.u32be(at), bytes.u32be(at + 4)));
    position = at;
    return tail;
}

// A loaded node is linked like any other; its path is its parent's path as the file
// stored it, joined with the parent's name, so the root's children read "/<root>".
void linkLoaded(BaseTree& child, BaseTree& parent, const SharedText& path) {
    TreeClassMethod::addParent_toNDIR(&parent, &child);
    child.pathName = path;
}

}  // namespace

void BaseTree::setWriteableData(std::vector<uint8_t>& writeData) const {
    const std::u16string name = storedUnits(fileName);
    const std::u16string path = storedUnits(pathName);
    writeData.push_back(entry);
    writeData.push_back(deleted);
    put16(writeData, static_cast<uint16_t>(name.size()));
    put16(writeData, static_cast<uint16_t>(path.size()));
    put16(writeData, fileType);
    for (const uint32_t value : {SPC, createDate, modDate, parentID, fileID, fileCount, folderCount, childrenCount,
                                 static_cast<uint32_t>(childrenArray.size()), clustToRead, blockSize,
                                 static_cast<uint32_t>(dataExtArray.size())})
        put32(writeData, value);
    put64(writeData, fileSize);
    put64(writeData, blocksStartsAtSector);
    for (const char16_t unit : name) put16(writeData, unit);
    for (const char16_t unit : path) put16(writeData, unit);
    for (const DataExt& extent : dataExtArray) {
        const auto bytes = extent.getWritableData();
        writeData.insert(writeData.end(), bytes.begin(), bytes.end());
    }
}

void BaseTree::createNDIRFrombytes_withPosition_andParent(ByteView bytes, size_t& position, BaseTree* parent) {
    RecordTail tail = readRecord(bytes, position, *this);
    createButtons();
    if (parent) linkLoaded(*this, *parent, SharedText(parent->pathName + "/" + parent->fileName));

    // Paths are built from stored ones, so a hostile file could make each of many
    // children copy one very long path; a real session's paths are never much longer
    // than the file itself.
    size_t pathBudget = 2 * bytes.size() + (1u << 20);
    // Folders whose children are still being read, innermost last. Iterative, so a
    // file nesting folders very deep cannot exhaust the stack.
    struct OpenFolder {
        BaseTree* folder;
        SharedText childPath;  // the folder's stored path and name, made once for all its children
        uint32_t childrenLeft;
    };
    std::vector<OpenFolder> open;
    if (fileType == 1 && tail.childRecords) open.push_back({this, SharedText(tail.storedPath + "/" + fileName), tail.childRecords});
    while (!open.empty()) {
        if (open.back().childrenLeft == 0) {
            open.pop_back();
            continue;
        }
        --open.back().childrenLeft;
        auto child = std::make_unique<BaseTree>();
        RecordTail childTail = readRecord(bytes, position, *child);
        child->createButtons();
        OpenFolder& above = open.back();
        const size_t pathLength = above.childPath.size();
        if (pathLength > pathBudget)
            throw std::runtime_error("Not a recovery session: its paths are longer than the file could hold");
        pathBudget -= pathLength;
        linkLoaded(*child, *above.folder, above.childPath);
        BaseTree* linked = above.folder->addChild(std::move(child));
        if (linked->fileType == 1 && childTail.childRecords)
            open.push_back({linked, SharedText(childTail.storedPath + "/" + linked->fileName), childTail.childRecords});
    }
}

}  // namespace norix
