#pragma once
// Readers of a carved file's own metadata (EXIF, ID3v2, OLE summary information,
// Office Open XML core properties). Each reads the file back from the device and
// answers "Name" (title), "Model" (camera model, artist or author) and "Date".
// The walks over the bytes take a buffer and never touch the device; the readers
// only read the file's sectors and hand them over.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "disk/ByteView.h"
#include "results/BaseTree.h"

namespace norix {

// Keys "Name", "Model", "Date"; a key is present only when its value was found.
using TagDictionary = std::map<std::string, std::string>;

class FileCheck {
public:
    // Nothing (nil) on a read error; an empty dictionary when no tag was found.
    static std::optional<TagDictionary> checkForTagsInImage_withBlockSize_andPath(const BaseTree& node,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& path);
    static std::optional<TagDictionary> checkForTagsInAudio_withBlockSize_andPath(const BaseTree& node,
                                                                                 uint32_t blockSize,
                                                                                 const std::string& path);
    static std::optional<TagDictionary> checkForTagsInOffice_withBlockSize_andPath(const BaseTree& node,
                                                                                  uint32_t blockSize,
                                                                                  const std::string& path);
    static std::optional<TagDictionary> checkForTagsInOfficeX_withBlockSize_andPath(const BaseTree& node,
                                                                                   uint32_t blockSize,
                                                                                   const std::string& path);

    // Position of the TIFF header that follows the first APP1 "Exif" marker in the
    // first size bytes of file; 0 when there is none.
    static size_t getTagsFromFile_withSize(std::span<const uint8_t> file, size_t size);
    // Make, model and date of a little-endian EXIF block whose TIFF header is at
    // position, from the first size bytes of block.
    static TagDictionary searchEXIFTagsInBlock_inSize_fromPosition(std::span<const uint8_t> block, size_t size,
                                                                   size_t position);
    // Appends the first length bytes of source to destination, NUL bytes left out.
    static void getTheDetailsFromBlock_toBlock_withSize(ByteView source, std::string& destination, size_t length);
    // UTF-16 text of an ID3 frame as UTF-8, at most 30 characters: a byte-order mark
    // decides the order, else withoutMark does; decoding stops at a NUL character.
    static std::string tagNameWithBlock(ByteView block, Endian withoutMark);

    // Title and lead artist from the ID3v2 frames of an MP3 file's bytes.
    static TagDictionary tagsInAudioData(std::span<const uint8_t> file);
    // The first two string values of the first summary-information property set
    // met in an OLE compound document's bytes.
    static TagDictionary tagsInOfficeData(std::span<const uint8_t> file);
};

}  // namespace norix
