#include "tests/records/ToolImage.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace norix::test {

namespace {
std::string runScript(const fs::path& folder, const fs::path& image, const std::string& script) {
    const fs::path file = folder / "script.sh", output = folder / "output.txt";
    writeFile(file, std::vector<uint8_t>(script.begin(), script.end()));
    const std::string command = "cd '" + folder.string() + "' && IMG='" + image.string() +
                                "' TZ=UTC LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1 sh -e script.sh >output.txt 2>&1";
    const int status = std::system(command.c_str());
    std::string printed = readText(output);
    if (status != 0) throw std::runtime_error("tool script failed:\n" + script + "\n" + printed);
    return printed;
}
}  // namespace

ToolImage::ToolImage(const std::string& script) { runScript(dir_->path(), image_, script); }

std::string ToolImage::run(const std::string& script) const { return runScript(dir_->path(), image_, script); }

std::vector<uint8_t> ToolImage::read(uint64_t offset, size_t size) const {
    std::ifstream in(image_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size))
        throw std::runtime_error("image too short for " + std::to_string(size) + " bytes at " + std::to_string(offset));
    return bytes;
}

std::string reportText(const std::string& report, const std::string& key) {
    const size_t at = report.find(key);
    if (at == std::string::npos) throw std::runtime_error("no \"" + key + "\" in:\n" + report);
    const size_t start = at + key.size();
    std::string value = report.substr(start, report.find('\n', start) - start);
    const auto first = value.find_first_not_of(" \t"), last = value.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : value.substr(first, last - first + 1);
}

uint64_t reportNumber(const std::string& report, const std::string& key) {
    const std::string text = reportText(report, key);
    const bool hex = text.rfind("0x", 0) == 0;
    return std::stoull(text, nullptr, hex ? 16 : 10);
}

}  // namespace norix::test
