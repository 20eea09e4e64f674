#include "engines/output/OutputFile.h"

#include "common/UTF8.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;
using testing::TemporaryDirectory;

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

OutputFile makeOrFail(const fs::path& destination,
                      OutputFile::Creation creation = OutputFile::Creation::create) {
    auto file = OutputFile::make(destination, creation);
    if (!file)
        throw std::runtime_error("make failed: " + file.error().message());
    return std::move(*file);
}

TEST(OutputFile, CommitMovesTheWrittenBytesIntoPlace) {
    // 255 bytes, the most a name may have; cutting the temporary's at byte 240 would split an "é".
    std::string longStem = "x";
    for (int index = 0; index < 125; ++index)
        longStem += "\u00e9";
    for (const std::string& name : {std::string("photo-converted.webp"), longStem + ".png"}) {
        SCOPED_TRACE(name);
        TemporaryDirectory directory;
        OutputFile file = makeOrFail(directory / name);
        const std::string temporary = file.temporaryPath().filename().string();
        EXPECT_EQ(file.temporaryPath().parent_path(), directory.path());
        EXPECT_TRUE(temporary.starts_with("." + name.substr(0, 10)) &&
                    temporary.find(".qm-") != std::string::npos &&
                    temporary.ends_with(fs::path(name).extension().string()))
            << temporary;
        EXPECT_LE(temporary.size(), 255u);
        EXPECT_TRUE(isValidUTF8(temporary));
        ASSERT_FALSE(file.write(bytesOf("first attempt, longer")));
        ASSERT_FALSE(file.write(bytesOf("RIFF....WEBP")));
        auto landed = file.commit("-converted", fs::path(name).extension().string().substr(1));
        ASSERT_TRUE(landed) << landed.error().message();
        EXPECT_EQ(*landed, directory / name);
        EXPECT_EQ(testing::readFile(*landed), "RIFF....WEBP");
        EXPECT_EQ(namesIn(directory.path()), std::vector<std::string>{name});
        const mode_t mask = umask(0);
        umask(mask);
        struct stat status {};
        ASSERT_EQ(stat(landed->c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0644 & ~mask);
    }
}

TEST(OutputFile, CommitNeverReplacesAFileThatAppearedMeanwhile) {
    TemporaryDirectory directory;
    OutputFile file = makeOrFail(directory / "photo-converted.webp");
    ASSERT_FALSE(file.write(bytesOf("new")));
    testing::writeFile(directory / "photo-converted.webp", "someone else's");
    fs::create_directory(directory / "photo-converted-1.webp");
    auto landed = file.commit("-converted", "webp");
    ASSERT_TRUE(landed) << landed.error().message();
    EXPECT_EQ(*landed, directory / "photo-converted-2.webp");
    EXPECT_EQ(testing::readFile(*landed), "new");
    EXPECT_EQ(testing::readFile(directory / "photo-converted.webp"), "someone else's");
}

// A process that dies leaves its temporary unlocked; a live one holds it locked. Names of other
// shapes, and reserved names a child process writes, are never taken for abandoned.
TEST(OutputFile, TemporariesWhoseOwnerIsGoneAreRemovedBesideTheNextOutput) {
    TemporaryDirectory directory;
    std::vector<std::string> expected{".clip-converted.qm-Q2w9Zr.mp4", ".notes.qm-draft.txt",
                                      ".qm-abcdef.jpg"};
    for (const std::string& name : expected)
        testing::writeFile(directory / name, "another process's, or a user's own");
    for (const char* name : {".photo-converted.qm-k3Xz9a.webp", "..qm-a1b2c3"})
        testing::writeFile(directory / name, "left by a killed process");
    const int held = open((directory / expected[0]).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    OutputFile reserved = makeOrFail(directory / "song-converted.mp3", OutputFile::Creation::reserveName);
    testing::writeFile(reserved.temporaryPath(), "written by a child process");
    OutputFile mine = makeOrFail(directory / "a-converted.png");
    OutputFile next = makeOrFail(directory / "a-converted.png");
    for (const OutputFile* file : {&reserved, &mine, &next})
        expected.push_back(file->temporaryPath().filename().string());
    std::ranges::sort(expected);
    EXPECT_EQ(namesIn(directory.path()), expected);
    const int probe = open(mine.temporaryPath().c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0) << "a live temporary is locked";
    close(probe);
    close(held);
}

// Root ignores permission bits, so unwritable places are ones no permission makes writable.
TEST(OutputFile, FailuresLeaveNothingBehind) {
    TemporaryDirectory directory;
    testing::writeFile(directory / "plain-file", "not a folder");
    {
        OutputFile file = makeOrFail(directory / "report-compressed.pdf");
        ASSERT_FALSE(file.write(bytesOf("%PDF-1.4 partial")));
        const OutputFile moved = std::move(file);
        EXPECT_TRUE(fs::exists(moved.temporaryPath()));
        // A reserved name that nothing created cannot land.
        OutputFile never = makeOrFail(directory / "song-converted.mp3", OutputFile::Creation::reserveName);
        EXPECT_FALSE(fs::exists(never.temporaryPath()));
        EXPECT_EQ(never.commit("-converted", "mp3").error(), std::errc::no_such_file_or_directory);
    }
    for (const auto creation : {OutputFile::Creation::create, OutputFile::Creation::reserveName}) {
        for (const auto& [destination, error] :
             {std::pair{directory / "plain-file" / "photo-converted.webp", std::errc::not_a_directory},
              {directory / "missing" / "photo-converted.webp", std::errc::no_such_file_or_directory}}) {
            SCOPED_TRACE(destination.string());
            const auto made = OutputFile::make(destination, creation);
            ASSERT_FALSE(made);
            EXPECT_EQ(made.error(), error);
        }
    }
    EXPECT_FALSE(OutputFile::make("/proc/photo-converted.webp"));
    EXPECT_EQ(namesIn(directory.path()), std::vector<std::string>{"plain-file"});
}

} // namespace
} // namespace quillmorph
