#pragma once
// What several fuzz targets share: the input as a device, and a scan engine with its
// result branches ready.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix::fuzz {

// Runs a decode that may end in std::out_of_range on input cut short; anything else
// escaping is a finding.
template <typename Decode>
void allowingShortInput(Decode decode) {
    try {
        decode();
    } catch (const std::out_of_range&) {
    }
}

// The input as a device: one in-memory file per process, rewritten for each input and
// read back through /proc/self/fd. Its path; empty when it cannot be written.
inline std::string deviceHolding(const uint8_t* data, size_t size) {
    static const int device = memfd_create("norix-fuzz-device", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(device);
    if (device < 0 || ftruncate(device, 0) != 0 || pwrite(device, data, size, 0) != static_cast<ssize_t>(size))
        return {};
    return path;
}

// The input's first 512 bytes, zero-padded: the sector a signature hit starts in.
inline std::vector<uint8_t> firstUnit(const uint8_t* data, size_t size) {
    std::vector<uint8_t> unit(data, data + std::min<size_t>(size, 512));
    unit.resize(512, 0);
    return unit;
}

// An engine reading the device at path in 512-byte sectors, with its quick- and
// deep-scan branches.
inline std::unique_ptr<RecoveryModule> moduleOn(const std::string& path) {
    auto module = std::make_unique<RecoveryModule>();
    module->setDiskPathWithString_withRootName(path, "Fuzz");
    module->blockSize = 512;
    TreeClassMethod::addQuickNodesInDir(module->dirRoot());
    TreeClassMethod::addDeepNodesInDIR(module->dirRoot());
    return module;
}

}  // namespace norix::fuzz
