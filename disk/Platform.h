#pragma once
// The few places where the system meets the desktop: its data folder, the user's
// documents folder and the console.
#include <string>

namespace norix {

// "$XDG_DATA_HOME/Norix Data Recovery" (default ~/.local/share/...), without a trailing slash.
std::string dataFolder();
// The user's documents folder ($XDG_DOCUMENTS_DIR, else ~/Documents).
std::string documentsFolder();
// Creates one folder level with mode 0777 through the umask; true when it exists afterwards.
bool makeFolder(const std::string& path);
// Creates the folder and every missing parent, one level at a time; true when it exists afterwards.
bool makeFolderWithParents(const std::string& path);

// Console messages of the engine (stderr); tests silence them.
void consoleLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void setConsoleQuiet(bool quiet);
// Names the system's time zone file in TZ when TZ is unset, so that the C library reads
// it once rather than on every local-time conversion, each under one process-wide lock
// (libzip converts the time of every member of every archive the sweep meets). Call it
// before any other thread starts.
void settleTimeZone();

}  // namespace norix
