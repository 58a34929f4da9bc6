#pragma once
// Helpers shared by the test programs: a private temporary folder with HOME and the
// XDG folders pointed into it, and file helpers.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace norix {
class BaseTree;
}

namespace norix::test {

// A fresh folder under the system temp folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Points HOME, XDG_DATA_HOME and XDG_DOCUMENTS_DIR into a temporary folder for the
// life of the object, creates the data folder and silences the console.
class TempHome {
public:
    TempHome();
    ~TempHome();
    const std::filesystem::path& home() const { return dir_.path(); }
    std::filesystem::path dataFolder() const;

private:
    TempDir dir_;
    std::string oldHome_, oldData_, oldDocs_;
};

// Sets the time zone (TZ) for the life of the object, and puts back the one before.
class TimeZone {
public:
    explicit TimeZone(const char* zone);
    ~TimeZone();

private:
    std::string old_;
};

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::filesystem::path& path);
std::vector<uint8_t> readBytes(const std::filesystem::path& path, uint64_t offset, size_t length);
// Overwrites bytes of an existing file in place.
void writeBytes(const std::filesystem::path& path, uint64_t offset, const std::vector<uint8_t>& bytes);
std::string readText(const std::filesystem::path& path);

// The nodes of a tree in pre-order (a node, then its children in order).
std::vector<const BaseTree*> preOrder(const BaseTree& root);

// A committed volume, tests/fixtures/NAME.img.zst, unpacked to image; answers image.
std::filesystem::path unpackFixture(const std::string& name, const std::filesystem::path& image);

// The sample FAT32 image, decompressed once into the build folder.
std::filesystem::path sampleImage();

// The folder a fixture builder in tools/ fills (run once, shared by every test program).
std::filesystem::path fixtureFolder(const std::string& builder);

// One line of a fixture manifest.
struct ManifestEntry {
    std::string path;  // "/folder/name"
    uint64_t size = 0;
    std::string sha256;
    bool deleted = false;
    bool intact = true;
};
std::vector<ManifestEntry> readManifest(const std::filesystem::path& path);
std::string sha256Of(const std::filesystem::path& file);

}  // namespace norix::test
