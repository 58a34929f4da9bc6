// The scan log: appended to only when its file exists, one whole line per entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "results/TreeClassMethod.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

using T = TreeClassMethod;

TEST(ScanLog, AppendsWholeLinesOnlyToAnExistingFile) {
    test::TempDir dir;
    T::writeError_inFile_forMethod("New Scan", dir / "Core.txt", "NS");
    EXPECT_FALSE(std::filesystem::exists(dir / "Core.txt"));

    test::writeFile(dir / "UI.txt", {'o', 'l', 'd', '\n'});
    T::writeError_inFile_forMethod("New Scan", dir / "UI.txt", "NS");
    T::writeError_inFile_forMethod("caf\xC3\xA9", dir / "UI.txt", "saveFile");
    EXPECT_EQ(test::readText(dir / "UI.txt"), "old\nNS Exception: New Scan\nsaveFile Exception: caf\xC3\xA9\n");

    // Lines from two threads stay whole.
    const auto log = dir / "Core.txt";
    test::writeFile(log, {});
    const std::string message(100, 'x');
    const auto writer = [&](const std::string& method) {
        for (int i = 0; i < 500; ++i) T::writeError_inFile_forMethod(message, log, method);
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    std::istringstream text(test::readText(log));
    std::map<std::string, int> lines;
    for (std::string line; std::getline(text, line);) ++lines[line];
    EXPECT_EQ(lines, (std::map<std::string, int>{{"A Exception: " + message, 500}, {"B Exception: " + message, 500}}));
}

}  // namespace
}  // namespace norix
