#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

#include "disk/Platform.h"
#include "results/BaseTree.h"

namespace fs = std::filesystem;

namespace norix::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "norix-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

namespace {
std::string getenvOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}
void restoreEnv(const char* name, const std::string& value) {
    if (value.empty()) unsetenv(name);
    else setenv(name, value.c_str(), 1);
}
}  // namespace

TempHome::TempHome()
    : oldHome_(getenvOr("HOME")), oldData_(getenvOr("XDG_DATA_HOME")), oldDocs_(getenvOr("XDG_DOCUMENTS_DIR")) {
    setenv("HOME", dir_.path().c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (dir_.path() / "Documents").c_str(), 1);
    fs::create_directories(dataFolder());
    setConsoleQuiet(true);
}

TempHome::~TempHome() {
    restoreEnv("HOME", oldHome_);
    restoreEnv("XDG_DATA_HOME", oldData_);
    restoreEnv("XDG_DOCUMENTS_DIR", oldDocs_);
    setConsoleQuiet(false);
}

TimeZone::TimeZone(const char* zone) : old_(getenvOr("TZ")) {
    setenv("TZ", zone, 1);
    tzset();
}

TimeZone::~TimeZone() {
    restoreEnv("TZ", old_);
    tzset();
}

fs::path TempHome::dataFolder() const { return dir_.path() / "data" / "Norix Data Recovery"; }

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? std::vector<uint8_t>{} : readBytes(path, 0, size);
}

std::vector<uint8_t> readBytes(const fs::path& path, uint64_t offset, size_t length) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(length);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

void writeBytes(const fs::path& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path unpackFixture(const std::string& name, const fs::path& image) {
    const fs::path packed = fs::path(NORIX_SOURCE_DIR) / "tests" / "fixtures" / (name + ".img.zst");
    const std::string cmd = "zstd -q -d -f -o '" + image.string() + "' '" + packed.string() + "'";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot unpack " + packed.string());
    return image;
}

fs::path sampleImage() {
    static std::once_flag once;
    static fs::path image = fs::path(NORIX_BINARY_DIR) / "sample" / "sample-fat32.img";
    std::call_once(once, [] {
        fs::create_directories(image.parent_path());
        const fs::path packed = fs::path(NORIX_SOURCE_DIR) / "resources" / "sample-fat32.img.zst";
        const std::string tmp = image.string() + ".tmp." + std::to_string(getpid());
        const std::string cmd = "zstd -q -d -f -o '" + tmp + "' '" + packed.string() + "' && mv -f '" + tmp +
                                "' '" + image.string() + "'";
        if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot unpack " + packed.string());
    });
    return image;
}

std::vector<const BaseTree*> preOrder(const BaseTree& root) {
    std::vector<const BaseTree*> nodes, pending{&root};
    while (!pending.empty()) {
        const BaseTree* node = pending.back();
        pending.pop_back();
        nodes.push_back(node);
        for (auto it = node->childrenArray.rbegin(); it != node->childrenArray.rend(); ++it) pending.push_back(it->get());
    }
    return nodes;
}

fs::path fixtureFolder(const std::string& builder) {
    const fs::path target = fs::path(NORIX_BINARY_DIR) / "fixtures" / fs::path(builder).stem();
    if (fs::exists(target)) return target;
    // Built in a folder of its own and moved into place, so test programs running at
    // the same time never see half a fixture.
    fs::create_directories(target.parent_path());
    const std::string tmp = target.string() + ".tmp." + std::to_string(getpid());
    const std::string cmd = "bash '" + (fs::path(NORIX_SOURCE_DIR) / "tools" / builder).string() + "' '" + tmp +
                            "' >/dev/null && mv -T '" + tmp + "' '" + target.string() + "' 2>/dev/null; rm -rf '" +
                            tmp + "'";
    if (std::system(cmd.c_str()) != 0 || !fs::exists(target)) throw std::runtime_error("cannot build " + builder);
    return target;
}

std::vector<ManifestEntry> readManifest(const fs::path& path) {
    std::vector<ManifestEntry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(line.substr(start, tab - start));
        fields.push_back(line.substr(start));
        if (fields.size() != 5) continue;
        entries.push_back({fields[0], std::stoull(fields[1]), fields[2], fields[3] == "1", fields[4] == "1"});
    }
    return entries;
}

std::string sha256Of(const fs::path& file) {
    const std::string cmd = "sha256sum < '" + file.string() + "'";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return {};
    char digest[65] = {};
    const size_t n = fread(digest, 1, 64, pipe);
    pclose(pipe);
    return std::string(digest, n);
}

}  // namespace norix::test
