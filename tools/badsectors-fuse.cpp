// norix-badsectors: serves a disk image, read-only, as the one file of a FUSE mount and
// fails every read that touches a listed byte range with EIO, as a disk with unreadable
// sectors does. The file is opened for direct I/O, so the page cache never widens a bad
// range to a whole readahead window, nor hides one behind an earlier read.
//
//   norix-badsectors IMAGE RANGES MOUNTPOINT
//
// RANGES is a text file of "FIRST LENGTH" lines, byte counts. The image appears as
// MOUNTPOINT/<its file name>. Runs in the foreground until unmounted (fusermount3 -u).
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

int imageFd = -1;
off_t imageBytes = 0;
std::string fileName;                               // "/<name>"
std::vector<std::pair<uint64_t, uint64_t>> badRanges;  // [first, end)

bool touchesBadRange(uint64_t first, uint64_t end) {
    for (const auto& [badFirst, badEnd] : badRanges)
        if (first < badEnd && badFirst < end) return true;
    return false;
}

int getattr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
    } else if (path == fileName) {
        st->st_mode = S_IFREG | 0444;
        st->st_nlink = 1;
        st->st_size = imageBytes;
    } else {
        return -ENOENT;
    }
    return 0;
}

int readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) return -ENOENT;
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
    fill(buffer, fileName.c_str() + 1, nullptr, 0, fuse_fill_dir_flags{});
    return 0;
}

int open(const char* path, fuse_file_info* info) {
    if (path != fileName) return -ENOENT;
    if ((info->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    info->direct_io = 1;
    return 0;
}

int read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info*) {
    if (offset < 0) return -EINVAL;
    if (touchesBadRange(static_cast<uint64_t>(offset), static_cast<uint64_t>(offset) + size)) return -EIO;
    const ssize_t got = pread(imageFd, buffer, size, offset);
    return got < 0 ? -errno : static_cast<int>(got);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IMAGE RANGES MOUNTPOINT\n", argv[0]);
        return 2;
    }
    imageFd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (imageFd < 0 || fstat(imageFd, &st) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    imageBytes = st.st_size;
    const std::string image = argv[1];
    fileName = "/" + image.substr(image.rfind('/') + 1);
    std::ifstream ranges(argv[2]);
    if (!ranges) {
        std::perror(argv[2]);
        return 1;
    }
    for (uint64_t first, length; ranges >> first >> length;) badRanges.emplace_back(first, first + length);

    fuse_operations operations{};
    operations.getattr = getattr;
    operations.readdir = readdir;
    operations.open = open;
    operations.read = read;
    // Foreground, one thread, read-only.
    char* fuseArgs[] = {argv[0], argv[3], const_cast<char*>("-f"), const_cast<char*>("-s"),
                        const_cast<char*>("-o"), const_cast<char*>("ro"), nullptr};
    return fuse_main(static_cast<int>(std::size(fuseArgs)) - 1, fuseArgs, &operations, nullptr);
}
