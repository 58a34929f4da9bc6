// Bounds-checked reads and UTF-16 decoding, the footing of every on-disk parser.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "disk/ByteView.h"

namespace norix {
namespace {

TEST(ByteView, ReadsBothByteOrdersAndRefusesEveryReadPastTheEnd) {
    const std::vector<uint8_t> bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    const ByteView view(bytes);
    EXPECT_EQ(view.u16le(0), 0x0201);
    EXPECT_EQ(view.u16be(0), 0x0102);
    EXPECT_EQ(view.u32le(4), 0x08070605u);
    EXPECT_EQ(view.u64be(0), 0x0102030405060708ull);
    EXPECT_THROW(view.u32le(5), std::out_of_range);
    EXPECT_THROW(view.u8(8), std::out_of_range);
    // An offset so large that offset + length would wrap around.
    EXPECT_THROW(view.bytes(std::numeric_limits<size_t>::max(), 2), std::out_of_range);
    EXPECT_FALSE(view.has(std::numeric_limits<size_t>::max(), 2));
    EXPECT_THROW(view.sub(6, 3), std::out_of_range);
    EXPECT_TRUE(view.matches(0, "\x01\x02"));
    EXPECT_FALSE(view.matches(7, "\x08\x09"));
}

TEST(Utf16, DecodesAccentsSurrogatesAndBrokenPairs) {
    // "é!" then U+1F600 as a surrogate pair, little-endian, then a NUL and junk.
    const std::vector<uint8_t> le{0xE9, 0x00, 0x21, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x00, 0x41, 0x00};
    EXPECT_EQ(utf16ToUtf8(ByteView(le), Endian::Little), "\xC3\xA9!\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16ToUtf8(ByteView(le), Endian::Little, false), std::string("\xC3\xA9!\xF0\x9F\x98\x80\0A", 9));
    const std::vector<uint8_t> be{0x04, 0x1F, 0xD8, 0x3D};  // Cyrillic "П", then a lone high surrogate
    EXPECT_EQ(utf16ToUtf8(ByteView(be), Endian::Big), "\xD0\x9F\xEF\xBF\xBD");
    // An odd trailing byte is not half a character.
    EXPECT_EQ(utf16ToUtf8(ByteView(std::vector<uint8_t>{0x41, 0x00, 0x42}), Endian::Little), "A");
}

TEST(Utf16, EncodesBackAndReplacesMalformedUtf8) {
    EXPECT_EQ(utf8ToUtf16("\xC3\xA9\xF0\x9F\x98\x80"), (std::u16string{0xE9, 0xD83D, 0xDE00}));
    EXPECT_EQ(utf8ToUtf16("a\xFF" "b\xC3"), (std::u16string{u'a', 0xFFFD, u'b', 0xFFFD}));
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));  // overlong "/"
}

}  // namespace
}  // namespace norix
