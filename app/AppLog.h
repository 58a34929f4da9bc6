#pragma once
// The application log "UI.txt" in the data folder. Its first byte counts the finished
// saving runs of this installation (1 to 250, then 1 again; 0 before the first); log
// lines follow the header.
#include <cstdint>
#include <string>

namespace norix::app {

class AppLog {
public:
    // Creates the data folder and the log with its header when missing.
    AppLog();
    const std::string& path() const { return path_; }
    void write(const std::string& message, const std::string& method) const;
    uint8_t savedCount() const;
    // Adds one finished saving run; answers the count before it.
    uint8_t addSavingRun() const;

private:
    std::string path_;
};

}  // namespace norix::app
