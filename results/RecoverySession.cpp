#include "results/RecoverySession.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "disk/DiskArbitrator.h"
#include "disk/DiskManager.h"
#include "disk/Platform.h"
#include "results/TreeClassMethod.h"

namespace norix {

namespace {

constexpr size_t kHeaderSize = 5;
// Records are gathered up to about this many bytes per write.
constexpr size_t kWriteChunk = 1u << 20;

void writeAll(int handle, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(handle, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw std::system_error(errno, std::generic_category(), "Unable to write the recovery session");
        done += static_cast<size_t>(written);
    }
}

void appendDevicePath(std::vector<uint8_t>& out, const std::string& bsdPath) {
    const std::u16string units = utf8ToUtf16(bsdPath);
    if (units.size() > 0xFFFF) throw std::runtime_error("The device path is too long for a recovery session");
    out.push_back(static_cast<uint8_t>(units.size() >> 8));
    out.push_back(static_cast<uint8_t>(units.size()));
    for (const char16_t unit : units) {
        out.push_back(static_cast<uint8_t>(unit >> 8));
        out.push_back(static_cast<uint8_t>(unit));
    }
}

// The name a drive shows in the list, which the scan gave its root: the media name of
// a whole disk (an image file's name), else the volume name; "Untitled" without one.
std::string displayName(const Disk& disk) {
    const auto name = disk.isWholeDisk() ? disk.getMediaName() : disk.getVolumeName();
    return name && !name->empty() ? *name : "Untitled";
}

std::shared_ptr<Disk> diskAtPath(const std::string& path, const std::vector<std::shared_ptr<Disk>>& disks) {
    if (auto disk = DiskManager::getDiskFromBSDPath_inArray(path, disks)) return disk;
    // Image files are no part of the disk catalogue; one is there when its file is.
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    return DiskArbitrator::diskForPath(path);
}

}  // namespace

std::string RecoverySession::defaultFileName(std::time_t now) {
    std::tm local{};
    char stamp[32] = "";
    if (localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%m-%d-%YT%H:%M:%S", &local);
    return std::string("Recover Session ") + stamp + "." + kExtension;
}

std::string RecoverySession::sessionFolder() {
    return documentsFolder() + "/Norix Data Recovery Software Recovery Sessions";
}

std::optional<std::string> RecoverySession::saveRecoverySessionAtPath(const std::string& path,
                                                                      const SessionHeader& header,
                                                                      const std::string& bsdPath, const BaseTree& root,
                                                                      std::shared_mutex& treeLock) {
    // Emptied first: a shorter session must not leave the end of a longer one behind.
    const int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (handle < 0) return "Unable to create the recovery session " + path + ": " + std::strerror(errno);
    auto error = saveRecoverySessionInHandle(handle, header, bsdPath, root, treeLock);
    if (::close(handle) != 0 && !error) error = "Unable to write the recovery session " + path + ": " + std::strerror(errno);
    return error;
}

std::optional<std::string> RecoverySession::saveRecoverySessionInHandle(int handle, const SessionHeader& header,
                                                                        const std::string& bsdPath,
                                                                        const BaseTree& root,
                                                                        std::shared_mutex& treeLock) {
    try {
        std::vector<uint8_t> pending{header.scanCompleted, header.scanAborted, header.isSpecialScan};
        appendDevicePath(pending, bsdPath);
        std::shared_lock lock(treeLock);
        std::vector<const BaseTree*> stack{&root};
        while (!stack.empty()) {
            const BaseTree* node = stack.back();
            stack.pop_back();
            node->setWriteableData(pending);
            if (node->fileType == 1)
                for (auto child = node->childrenArray.rbegin(); child != node->childrenArray.rend(); ++child)
                    stack.push_back(child->get());
            if (pending.size() >= kWriteChunk) {
                writeAll(handle, pending);
                pending.clear();
            }
        }
        writeAll(handle, pending);
        return std::nullopt;
    } catch (const std::exception& e) {
        TreeClassMethod::writeError_inFile_forMethod(e.what(), dataFolder() + "/Core.txt", "saveRecoverySessionInHandle");
        return std::string(e.what());
    }
}

std::optional<std::string> RecoverySession::saveRecoverySessionInDocument(const SessionHeader& header,
                                                                          const std::string& bsdPath,
                                                                          const BaseTree& root,
                                                                          std::shared_mutex& treeLock,
                                                                          std::time_t now) {
    const std::string folder = sessionFolder();
    if (!makeFolder(folder)) return "Unable to create the folder " + folder;
    return saveRecoverySessionAtPath(folder + "/" + defaultFileName(now), header, bsdPath, root, treeLock);
}

LoadedSession RecoverySession::loadRecoverySessionFromPath(const std::string& path) {
    LoadedSession session;
    const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        session.error = errno == ENOENT ? "File not found at path :" + path
                                        : "Unable to read the recovery session " + path + ": " + std::strerror(errno);
        return session;
    }
    struct stat info{};
    std::vector<uint8_t> bytes;
    if (::fstat(handle, &info) == 0 && S_ISREG(info.st_mode)) {
        // Read whole: the tree built from it is of the file's size anyway.
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(handle, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        if (done < bytes.size()) session.error = "Unable to read the recovery session " + path;
    } else {
        session.error = "Unable to read the recovery session " + path + ": not a file";
    }
    ::close(handle);
    if (session.error) return session;
    return loadRecoverySessionFromData(ByteView(bytes.data(), bytes.size()));
}

LoadedSession RecoverySession::loadRecoverySessionFromData(ByteView bytes) {
    LoadedSession session;
    if (!bytes.has(0, kHeaderSize)) {
        session.error = "The recovery session is cut short: it has no room for its header";
        return session;
    }
    for (size_t i = 0; i < 3; ++i)
        if (bytes.u8(i) > 1) {
            session.error = "Not a recovery session: header byte " + std::to_string(i) + " is " +
                            std::to_string(bytes.u8(i));
            return session;
        }
    session.header = {bytes.u8(0), bytes.u8(1), bytes.u8(2)};
    const size_t pathBytes = 2 * size_t{bytes.u16be(3)};
    if (!bytes.has(kHeaderSize, pathBytes)) {
        session.error = "The recovery session is cut short: it ends inside its device path";
        return session;
    }
    session.bsdPath = utf16ToUtf8(bytes.sub(kHeaderSize, pathBytes), Endian::Big, false);
    size_t position = kHeaderSize + pathBytes;
    session.dirRoot = loadRecoverySessionFromBytes_inPosition(bytes, position, session.error);
    return session;
}

std::unique_ptr<BaseTree> RecoverySession::loadRecoverySessionFromBytes_inPosition(ByteView bytes,
                                                                                   size_t& position,
                                                                                   std::optional<std::string>& error) {
    const size_t start = position;
    auto root = TreeClassMethod::createNDIR();
    try {
        root->createNDIRFrombytes_withPosition_andParent(bytes, position, nullptr);
    } catch (const std::exception& e) {
        error = e.what();
        // The position moves past a record only once all of it was read.
        if (position == start) return nullptr;
    }
    return root;
}

std::optional<std::string> RecoverySession::checkForScannedDrive(const LoadedSession& session,
                                                                 const std::vector<std::shared_ptr<Disk>>& disks) {
    if (!session.dirRoot) return std::nullopt;
    const std::string& rootName = session.dirRoot->fileName;
    if (const auto disk = diskAtPath(session.bsdPath, disks)) {
        // A folder scan's root is named after the folder, not the drive.
        if (!session.header.isSpecialScan && displayName(*disk) != rootName) return std::nullopt;
        return session.bsdPath;
    }
    // The device may have been attached again under another name.
    const auto renamed = DiskManager::getDiskWithName_inArray(rootName, disks);
    if (!renamed) return std::nullopt;
    return renamed->getBSDPath();
}

}  // namespace norix
