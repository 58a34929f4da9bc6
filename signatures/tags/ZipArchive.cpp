#include "signatures/tags/ZipArchive.h"

#include <zip.h>

#include <array>
#include <stdexcept>

namespace norix {

namespace {

std::runtime_error zipFailure(const std::string& what, zip_error_t* error) {
    return std::runtime_error(what + ": " + zip_error_strerror(error));
}

// Closes a member on every way out of extract().
struct MemberFile {
    zip_file_t* file;
    ~MemberFile() {
        if (file) zip_fclose(file);
    }
};

}  // namespace

ZipArchive::ZipArchive(std::span<const uint8_t> data) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data.data(), data.size(), 0, &error);
    if (!source) {
        const auto failure = zipFailure("cannot read the archive", &error);
        zip_error_fini(&error);
        throw failure;
    }
    archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive_) {
        zip_source_free(source);
        const auto failure = zipFailure("cannot open the archive", &error);
        zip_error_fini(&error);
        throw failure;
    }
    zip_error_fini(&error);
}

ZipArchive::~ZipArchive() { zip_discard(archive_); }

std::optional<uint64_t> ZipArchive::locate(const std::string& name) const {
    const zip_int64_t index = zip_name_locate(archive_, name.c_str(), 0);
    if (index < 0) return std::nullopt;
    return static_cast<uint64_t>(index);
}

std::vector<uint8_t> ZipArchive::extract(uint64_t index, size_t maxSize) const {
    MemberFile member{zip_fopen_index(archive_, index, 0)};
    if (!member.file) throw zipFailure("cannot open the member", zip_get_error(archive_));
    std::vector<uint8_t> bytes;
    std::array<uint8_t, 64 * 1024> chunk;
    for (;;) {
        const zip_int64_t got = zip_fread(member.file, chunk.data(), chunk.size());
        if (got < 0) throw zipFailure("cannot inflate the member", zip_file_get_error(member.file));
        if (got == 0) return bytes;
        if (static_cast<uint64_t>(got) > maxSize - bytes.size())
            throw std::runtime_error("member larger than " + std::to_string(maxSize) + " bytes");
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
}

}  // namespace norix
