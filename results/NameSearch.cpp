// The name search: every node whose name contains a keyword, in any case.
#include <algorithm>
#include <locale.h>
#include <wctype.h>

#include "results/SearchResult.h"
#include "results/TreeClassMethod.h"

namespace norix {

namespace {

// Unicode case mapping of the C library, whatever the process's own locale is;
// without it only ASCII letters are lower-cased.
locale_t unicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char16_t lowerUnit(char16_t unit) {
    if (unit < 0x80) return unit >= 'A' && unit <= 'Z' ? static_cast<char16_t>(unit + ('a' - 'A')) : unit;
    if (unit >= 0xD800 && unit <= 0xDFFF) return unit;  // half of a pair: left as it is
    const locale_t locale = unicodeLocale();
    if (!locale) return unit;
    const auto lower = towlower_l(static_cast<wint_t>(unit), locale);
    return lower <= 0xFFFF ? static_cast<char16_t>(lower) : unit;
}

}  // namespace

void SearchResult::addMatch(BaseTree* node) {
    std::lock_guard lock(mutex_);
    matches_.push_back(node);
}

std::vector<BaseTree*> SearchResult::matches() const {
    std::lock_guard lock(mutex_);
    return matches_;
}

uint32_t SearchResult::childrenCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(matches_.size());
}

std::string TreeClassMethod::lowerCasedForSearch(const std::string& text) {
    if (std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string lower = text;
        std::ranges::transform(lower, lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        return lower;
    }
    std::u16string units = utf8ToUtf16(text);
    std::vector<uint8_t> bytes;
    bytes.reserve(2 * units.size());
    for (const char16_t unit : units) {
        const char16_t lower = lowerUnit(unit);
        bytes.push_back(static_cast<uint8_t>(lower));
        bytes.push_back(static_cast<uint8_t>(lower >> 8));
    }
    return utf16ToUtf8(ByteView(bytes), Endian::Little, false);
}

void TreeClassMethod::searchForKeyWord_inNDIR_withflag_addInDir(const std::string& keyword, BaseTree* node,
                                                                const std::atomic<bool>& flag, SearchResult& addInDir) {
    if (!node) return;
    // Depth-first in child order with an explicit stack: trees from hostile disks can be deep.
    std::vector<BaseTree*> pending;
    const auto pushChildren = [&](BaseTree* parent) {
        for (auto child = parent->childrenArray.rbegin(); child != parent->childrenArray.rend(); ++child)
            pending.push_back(child->get());
    };
    pushChildren(node);
    while (!pending.empty() && flag) {
        BaseTree* child = pending.back();
        pending.pop_back();
        if (!child->fileName.empty() && lowerCasedForSearch(child->fileName).find(keyword) != std::string::npos)
            addInDir.addMatch(child);
        if (child->fileType == 1) pushChildren(child);
    }
}

}  // namespace norix
