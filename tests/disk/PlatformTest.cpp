// The data and documents folders follow the XDG variables; folders honour the umask.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "disk/Platform.h"
#include "tests/support/TestSupport.h"

namespace norix {
namespace {

namespace fs = std::filesystem;

TEST(Platform, FoldersFollowXdgVariablesFallBackToHomeAndHonourTheUmask) {
    test::TempHome home;
    EXPECT_EQ(dataFolder(), home.dataFolder().string());
    EXPECT_EQ(documentsFolder(), (home.home() / "Documents").string());

    setenv("XDG_DATA_HOME", "relative/data", 1);  // only absolute values count
    unsetenv("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(dataFolder(), (home.home() / ".local/share/Norix Data Recovery").string());
    EXPECT_EQ(documentsFolder(), (home.home() / "Documents").string());

    // Folders are made with the umask, and the outcome is reported.
    const fs::path dir = home.home();
    const mode_t previous = umask(027);
    const bool made = makeFolder((dir / "logs").string());
    umask(previous);
    ASSERT_TRUE(made);
    struct stat info{};
    ASSERT_EQ(stat((dir / "logs").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0750u);

    EXPECT_TRUE(makeFolder((dir / "logs").string()));  // already there
    test::writeFile(dir / "file", {1});
    EXPECT_FALSE(makeFolder((dir / "file").string()));
    EXPECT_FALSE(makeFolder((dir / "absent" / "child").string()));
}

}  // namespace
}  // namespace norix
