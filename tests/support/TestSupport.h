#pragma once
// Helpers shared by the test programs: a private temporary folder with HOME and the
// XDG folders pointed into it, and file helpers.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::filesystem::path& path);
std::string readText(const std::filesystem::path& path);

// The sample FAT32 image, decompressed once into the build folder.
std::filesystem::path sampleImage();

}  // namespace norix::test
