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

TEST(FileNaming, DestinationNamesBesideTheSource) {
    struct Row {
        std::string source;
        std::string suffix;
        std::string extension;
        std::vector<std::string> taken; // "link:" marks a dangling symbolic link
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"photo.jpg", "-converted", "webp", {}, "photo-converted.webp"},
        // The lowest free counter, even below a taken one.
        {"photo.jpg",
         "-converted",
         "webp",
         {"photo-converted.webp", "photo-converted-2.webp"},
         "photo-converted-1.webp"},
        // Only the same extension collides.
        {"photo.jpg", "-converted", "webp", {"photo-converted.png"}, "photo-converted.webp"},
        {"icon@2x.png", "-converted", "webp", {"icon-converted@2x.webp"}, "icon-converted-1@2x.webp"},
        {"icon-converted-1@2x.webp", "-converted", "png", {}, "icon-converted@2x.png"},
        {"icon@4x.png", "-converted", "webp", {}, "icon@4x-converted.webp"},
        {"report-compressed.pdf", "-compressed", "pdf", {"report-compressed.pdf"}, "report-compressed-1.pdf"},
        {"archive.tar.gz", "-converted", "webp", {}, "archive.tar-converted.webp"},
        // A dangling link at the candidate counts as taken.
        {"photo.jpg", "-converted", "webp", {"link:photo-converted.webp"}, "photo-converted-1.webp"},
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
        for (const std::string& taken : row.taken) {
            if (taken.starts_with("link:"))
                fs::create_symlink(directory / "nowhere", directory / taken.substr(5));
            else
                testing::writeFile(directory / taken, "x");
        }
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
    // A counter is any well-formed run of Unicode numeric characters, of any script.
    const std::vector<Row> rows = {
        {"-converted", "photo-converted-12", "photo"},
        {"-converted", "photo-12", "photo-12"},
        {"-converted", "photo-converted-1-2", "photo-converted-1-2"},
        {"-converted", "photo-converted-", "photo-converted-"},
        {"-converted", "-converted", ""},
        {"", "photo-converted-1", "photo-converted-1"},
        {"-converted", "photo-converted-09", "photo"},
        {"-converted", "photo-converted-:", "photo-converted-:"},
        {"-converted", "photo-converted-12a", "photo-converted-12a"},
        {"-converted", "photo-converted-\u0663\u0664", "photo"},            // Arabic-Indic 34
        {"-converted", "photo-converted-\uFF10", "photo"},                  // fullwidth zero
        {"-converted", "photo-converted-\uFF1A", "photo-converted-\uFF1A"}, // fullwidth colon
        {"-converted", "photo-converted-1\u00BD", "photo"},                 // 1½
        {"-converted", "photo-converted-\u2160", "photo"},                  // Roman numeral one
        {"-converted", "photo-converted-\u4E09", "photo"},                  // Han numeral three
        {"-converted", "photo-converted-\u4E0A", "photo-converted-\u4E0A"}, // Han "above"
        {"-converted", "photo-converted-\U0001D7CE", "photo"},              // bold digit zero
        {"-converted", "photo-converted-\U0010FFFF", "photo-converted-\U0010FFFF"},
        // Malformed UTF-8: cut off, overlong '0', surrogate, stray continuation byte.
        {"-converted", "photo-converted-\xC2", "photo-converted-\xC2"},
        {"-converted", "photo-converted-\xC0\xB0", "photo-converted-\xC0\xB0"},
        {"-converted", "photo-converted-\xED\xA0\x80", "photo-converted-\xED\xA0\x80"},
        {"-converted", "photo-converted-\xB0", "photo-converted-\xB0"},
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
