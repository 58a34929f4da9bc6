#pragma once
#include <string>

namespace norix {

// What the scan engine tells its shell. Called on the scan thread: a UI moves the
// work to its own thread itself.
class RecoveryToDelegate {
public:
    virtual ~RecoveryToDelegate() = default;
    virtual void quickCompleted() {}
    virtual void reloadOutlineData() {}
    virtual void openLoadingWindow() {}
    virtual void increasePercentage(const std::string& percent) { (void)percent; }
    virtual void setBSDPath(const std::string& path) { (void)path; }
    // Something about the source the user must know (an encrypted volume).
    virtual void showNotice(const std::string& text) { (void)text; }
};

}  // namespace norix
