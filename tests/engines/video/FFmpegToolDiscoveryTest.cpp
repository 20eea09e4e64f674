#include "common/Bundle.h"
#include "common/UserDefaults.h"
#include "engines/video/FFmpegTool.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;

class FFmpegToolDiscovery : public ::testing::Test {
  protected:
    void SetUp() override { setenv("QUILLMORPH_CONFIG_DIR", (m_root / "config").c_str(), 1); }
    void TearDown() override {
        FFmpegTool::setSearchFolders(std::nullopt);
        unsetenv("QUILLMORPH_CONFIG_DIR");
        unsetenv("QUILLMORPH_FFMPEG_DIR");
    }

    std::string folder(const std::string& name) {
        fs::create_directories(m_root / name);
        return (m_root / name).string();
    }
    fs::path install(const std::string& name, std::string_view tool,
                     fs::perms permissions = fs::perms::owner_all) {
        fs::path file = fs::path(folder(name)) / tool;
        testing::writeFile(file, "#!/bin/sh\n");
        fs::permissions(file, permissions);
        return file;
    }

    testing::TemporaryDirectory m_root;
};

TEST_F(FFmpegToolDiscovery, TheFirstExecutableCandidateWins) {
    fs::path helpers = install("helpers", "ffmpeg");
    fs::path custom = install("custom", "ffmpeg");
    install("custom", "ffprobe", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(m_root / "helpers" / "ffprobe"); // a folder is not a program
    fs::path system = install("system", "ffprobe");
    FFmpegTool::setSearchFolders(std::vector{folder("helpers"), folder("custom"), folder("system")});

    EXPECT_EQ(FFmpegTool::path("ffmpeg"), helpers);
    EXPECT_EQ(FFmpegTool::path("ffprobe"), system);
    EXPECT_EQ(FFmpegTool::path("ffplay"), std::nullopt);

    FFmpegTool::setSearchFolders(std::vector{folder("empty"), folder("custom")});
    EXPECT_EQ(FFmpegTool::path("ffmpeg"), custom);
}

TEST_F(FFmpegToolDiscovery, SearchesTheEnvironmentFolderAfterTheHelpersAndBeforeTheSystem) {
    std::string helpers = Bundle::helpersDirectory().string();
    // Used exactly as given: no trimming, no test that it is absolute.
    setenv("QUILLMORPH_FFMPEG_DIR", " relative/dir ", 1);
    EXPECT_EQ(FFmpegTool::searchFolders(),
              (std::vector<std::string>{helpers, " relative/dir ", "/opt/homebrew/bin", "/usr/local/bin",
                                        "/usr/bin"}));
}

TEST_F(FFmpegToolDiscovery, AvailableOnlyWithBothToolsAndWithoutTheUserSwitch) {
    install("tools", "ffmpeg");
    FFmpegTool::setSearchFolders(std::vector{folder("tools")});
    EXPECT_FALSE(FFmpegTool::isAvailable()) << "ffmpeg alone";

    install("tools", "ffprobe");
    EXPECT_TRUE(FFmpegTool::isAvailable());

    ASSERT_TRUE(UserDefaults::setBoolean("QuillmorphIgnoreFFmpeg", true));
    EXPECT_FALSE(FFmpegTool::isAvailable());
}

} // namespace
} // namespace quillmorph
