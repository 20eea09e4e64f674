#include "engines/output/FileNaming.h"

#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;

enum class Occupant { file, danglingLink };

struct Taken {
    std::string name;
    Occupant occupant = Occupant::file;
};

void occupy(const fs::path& directory, const Taken& taken) {
    switch (taken.occupant) {
    case Occupant::file:
        testing::writeFile(directory / taken.name, "x");
        break;
    case Occupant::danglingLink:
        fs::create_symlink(directory / "nowhere", directory / taken.name);
        break;
    }
}

TEST(FileNaming, DestinationNamesBesideTheSource) {
    struct Row {
        std::string source;
        std::string suffix;
        std::string extension;
        std::vector<Taken> taken;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"photo.jpg", "-converted", "webp", {}, "photo-converted.webp"},
        // The lowest free counter, even below a taken one.
        {"photo.jpg",
         "-converted",
         "webp",
         {{"photo-converted.webp"}, {"photo-converted-2.webp"}},
         "photo-converted-1.webp"},
        // Only the same extension collides.
        {"photo.jpg", "-converted", "webp", {{"photo-converted.png"}}, "photo-converted.webp"},
        {"icon@2x.png", "-converted", "webp", {{"icon-converted@2x.webp"}}, "icon-converted-1@2x.webp"},
        {"icon-converted-1@2x.webp", "-converted", "png", {}, "icon-converted@2x.png"},
        {"icon@4x.png", "-converted", "webp", {}, "icon@4x-converted.webp"},
        {"report-compressed.pdf",
         "-compressed",
         "pdf",
         {{"report-compressed.pdf"}},
         "report-compressed-1.pdf"},
        {"archive.tar.gz", "-converted", "webp", {}, "archive.tar-converted.webp"},
        // A dangling link at the candidate counts as taken.
        {"photo.jpg",
         "-converted",
         "webp",
         {{"photo-converted.webp", Occupant::danglingLink}},
         "photo-converted-1.webp"},
        // Counters of any script are stripped.
        {"photo-converted-\uFF11\uFF12.webp", "-converted", "jpg", {}, "photo-converted.jpg"},
        {"写真-converted-3.heic", "-converted", "jpg", {}, "写真-converted.jpg"},
        // The system sees only "photo.jpg", which exists: the naming still ends.
        {std::string("photo.jpg\0.png", 14), "-converted", "webp", {{"photo.jpg"}},
         std::string("photo.jpg\0-converted.webp", 25)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source + " " + row.suffix + " " + row.extension);
        TemporaryDirectory directory;
        for (const Taken& taken : row.taken)
            occupy(directory.path(), taken);
        EXPECT_EQ(FileNaming::destination(directory / row.source, row.suffix, row.extension),
                  directory / row.expected);
    }
}

TEST(FileNaming, StrippingRemovesOnlyAnEarlierRunsSuffixAndCounter) {
    struct Row {
        std::string suffix;
        std::string name;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"-converted", "photo-converted-12", "photo"},
        {"-converted", "photo-12", "photo-12"},
        {"-converted", "photo-converted-1-2", "photo-converted-1-2"},
        {"-converted", "-converted", ""},
        {"", "photo-converted-1", "photo-converted-1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.suffix + " " + row.name);
        EXPECT_EQ(FileNaming::stripping(row.suffix, row.name), row.expected);
    }
}

TEST(FileNaming, ByteCountIsTheRegularFileSizeOrZero) {
    TemporaryDirectory directory;
    testing::writeFile(directory / "data.bin", std::string(1234, 'q'));
    fs::create_directory(directory / "folder");
    fs::create_symlink(directory / "data.bin", directory / "link.bin");

    EXPECT_EQ(FileNaming::byteCount(directory / "data.bin"), 1234);
    EXPECT_EQ(FileNaming::byteCount(directory / "link.bin"), 1234);
    EXPECT_EQ(FileNaming::byteCount(directory / "folder"), 0);
    EXPECT_EQ(FileNaming::byteCount(directory / "missing.bin"), 0);
    EXPECT_EQ(FileNaming::byteCount(directory / "data.bin" / "below-a-file"), 0);
}

} // namespace
} // namespace quillmorph
