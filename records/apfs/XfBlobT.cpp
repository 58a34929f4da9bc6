#include "records/apfs/XfBlobT.h"

#include <algorithm>

namespace norix {

XFieldT XFieldT::initXFieldTWithBlock_Offset(ByteView block, size_t offset) {
    return {block.u8(offset), block.u8(offset + 1), block.u16le(offset + 2)};
}

XfName XfName::initXfNameWithBlock(ByteView value) {
    const auto bytes = value.span();
    const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    return {std::string(bytes.begin(), end)};
}

XfSize XfSize::initXfSizeWithBlock(ByteView value) {
    return {value.u64le(0), value.u64le(8), value.u64le(16), value.u64le(24), value.u64le(32)};
}

std::optional<XfBlobT> XfBlobT::initXfBlobTWithBlock_Offset(ByteView block, size_t offset) {
    if (offset > 4091 || !block.has(offset, 4)) return std::nullopt;
    XfBlobT blob;
    blob.xf_num_exts = block.u16le(offset);
    blob.xf_used_data = block.u16le(offset + 2);
    const size_t descriptors = offset + 4;
    if (offset + 4 * size_t{blob.xf_num_exts} > 4092) return blob;
    for (size_t i = 0; i < blob.xf_num_exts; ++i)
        blob.xf_data.push_back(XFieldT::initXFieldTWithBlock_Offset(block, descriptors + 4 * i));
    size_t at = descriptors + 4 * size_t{blob.xf_num_exts};
    for (const XFieldT& field : blob.xf_data) {
        XfValue value;
        const bool name = field.x_type == XFieldT::kName && field.x_size <= 512;
        const bool stream = field.x_type == XFieldT::kDataStream && field.x_size >= 40 && field.x_size <= 512;
        if ((name || stream) && at < block.size()) {
            // Copied into a zero-filled buffer a little longer than the value, so a name
            // always ends in a zero and a value cut by the block's end reads as zeros.
            std::vector<uint8_t> copy((field.x_size & ~size_t{7}) + 8, 0);
            const size_t take = std::min<size_t>(field.x_size, block.size() - at);
            std::copy_n(block.bytes(at, take).begin(), take, copy.begin());
            if (name) value = XfName::initXfNameWithBlock(ByteView(copy));
            else value = XfSize::initXfSizeWithBlock(ByteView(copy));
        }
        blob.xf.push_back(std::move(value));
        at += (size_t{field.x_size} + 7) & ~size_t{7};
    }
    return blob;
}

}  // namespace norix
