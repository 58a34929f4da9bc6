#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace norix {

// Immutable text that copies share instead of each holding its own: every child of a
// folder has the same path, so a million files in a thousand folders hold a thousand
// paths. Reads like a const std::string; assigning new text replaces it for this
// holder only. Copies may be made and dropped from several threads at once.
class SharedText {
public:
    SharedText() = default;
    explicit SharedText(std::string text)
        : text_(text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text))) {}
    SharedText& operator=(std::string text) { return *this = SharedText(std::move(text)); }

    const std::string& str() const { return text_ ? *text_ : empty_; }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    bool empty() const { return !text_; }
    size_t size() const { return str().size(); }
    const char* c_str() const { return str().c_str(); }

    friend bool operator==(const SharedText& a, const SharedText& b) { return a.str() == b.str(); }
    friend bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
    friend std::string operator+(const SharedText& a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(const SharedText& a, const char* b) { return a.str() + b; }
    friend std::string operator+(const char* a, const SharedText& b) { return a + b.str(); }

private:
    static inline const std::string empty_;
    std::shared_ptr<const std::string> text_;
};

}  // namespace norix
