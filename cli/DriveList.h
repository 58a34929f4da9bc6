#pragma once
#include <cstdio>

#include "disk/DiskManager.h"

namespace norix::cli {

// The filtered catalogue in the drive list's columns, as text or JSON.
void printDrives(DiskManager& manager, bool json, std::FILE* out);

}  // namespace norix::cli
