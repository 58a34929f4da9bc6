#pragma once
#include <optional>
#include <span>

#include "signatures/tags/FileCheck.h"

namespace norix {

// The core properties ("docProps/core.xml") of an Office Open XML package held in memory.
class DocxTags {
public:
    static std::optional<TagDictionary> getTagsForData(std::span<const uint8_t> data);
};

}  // namespace norix
