#include "common/ByteCount.h"

#include <gtest/gtest.h>

namespace quillmorph {
namespace {

TEST(ByteCount, FormatsInDecimalFileUnits) {
    struct Row {
        std::int64_t bytes;
        const char* text;
    };
    const Row rows[] = {
        {0, "Zero KB"},      {1, "1 byte"},         {999, "999 bytes"},     {1000, "1 KB"},
        {999499, "999 KB"},  {999999, "1 MB"},      {12345678, "12.3 MB"},  {1250000000, "1.25 GB"},
        {-2000000, "-2 MB"}, {INT64_MAX, "9223.37 PB"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(formatByteCount(row.bytes), row.text) << row.bytes;
}

} // namespace
} // namespace quillmorph
