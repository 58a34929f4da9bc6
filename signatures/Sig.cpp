#include "signatures/Sig.h"

#include <limits>
#include <optional>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace norix {

namespace {

// A whole number under key, between 0 and max; fallback when the key is absent.
uint64_t number(const nlohmann::json& object, const char* key, uint64_t max, std::optional<uint64_t> fallback) {
    const auto it = object.find(key);
    if (it == object.end()) {
        if (fallback) return *fallback;
        throw std::runtime_error(std::string("\"") + key + "\" is missing");
    }
    if (!it->is_number_unsigned() || it->get<uint64_t>() > max)
        throw std::runtime_error(std::string("\"") + key + "\" is not a number from 0 to " + std::to_string(max));
    return it->get<uint64_t>();
}

std::string text(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) throw std::runtime_error(std::string("\"") + key + "\" is not a text");
    return it->get<std::string>();
}

bool flag(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) return false;
    if (!it->is_boolean()) throw std::runtime_error(std::string("\"") + key + "\" is not true or false");
    return it->get<bool>();
}

}  // namespace

nlohmann::json Sig::encode() const {
    return {{"preInstalled", preInstalled},
            {"categoryID", categoryID},
            {"category", category},
            {"typeOfFile", typeOfFile},
            {"software", software},
            {"extension", extension},
            {"offset", offset},
            {"headerLength", headerLength},
            {"header", header},
            {"defaultSize", defaultSize},
            {"userSize", userSize},
            {"foundSize", foundSize},
            {"skipSize", skipSize},
            {"skipFileSize", skipFileSize}};
}

Sig Sig::decode(const nlohmann::json& object) {
    if (!object.is_object()) throw std::runtime_error("a file type is not an object");
    constexpr uint64_t u32max = std::numeric_limits<uint32_t>::max();
    constexpr uint64_t u64max = std::numeric_limits<uint64_t>::max();
    Sig sig;
    sig.preInstalled = flag(object, "preInstalled");
    sig.categoryID = static_cast<uint8_t>(number(object, "categoryID", 255, 0));
    sig.category = text(object, "category");
    sig.typeOfFile = static_cast<uint32_t>(number(object, "typeOfFile", u32max, 0));
    sig.software = text(object, "software");
    sig.extension = text(object, "extension");
    sig.offset = static_cast<uint16_t>(number(object, "offset", 512, std::nullopt));
    sig.headerLength = static_cast<uint8_t>(number(object, "headerLength", 8, std::nullopt));
    sig.header = number(object, "header", u64max, std::nullopt);
    sig.defaultSize = static_cast<uint32_t>(number(object, "defaultSize", u32max, 0));
    sig.userSize = number(object, "userSize", u64max, 0);
    sig.foundSize = number(object, "foundSize", u64max, 0);
    sig.skipSize = number(object, "skipSize", u64max, 0);
    sig.skipFileSize = flag(object, "skipFileSize");
    // A header must fit its length, or no file could ever match it.
    if (sig.headerLength == 0 || (sig.headerLength < 8 && sig.header >> (8 * sig.headerLength) != 0))
        throw std::runtime_error("the header of \"" + sig.extension + "\" does not fit its length");
    if (sig.extension.empty()) throw std::runtime_error("a file type has no extension");
    return sig;
}

}  // namespace norix
