#include "engines/process/LineBuffer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

using Lines = std::vector<std::string>;

TEST(LineBuffer, CutsChunksIntoLines) {
    struct Row {
        const char* name;
        std::vector<std::string> chunks;
        Lines lines;
        std::string rest;
    };
    const Row rows[] = {
        {"one complete line", {"frame=1\n"}, {"frame=1"}, ""},
        {"several in one chunk", {"a=1\nb=2\nc"}, {"a=1", "b=2"}, "c"},
        {"a line split across reads", {"out_time", "_us=500", "0000\n"}, {"out_time_us=5000000"}, ""},
        {"empty lines are lines", {"\n\nx\n"}, {"", "", "x"}, ""},
        {"a carriage return stays", {"x\r\n"}, {"x\r"}, ""},
        {"a UTF-8 sequence split across reads", {"caf\xc3", "\xa9\n"}, {"caf\xc3\xa9"}, ""},
        {"no line feed at all", {"abc", "def"}, {}, "abcdef"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LineBuffer buffer;
        Lines lines;
        for (const std::string& chunk : row.chunks)
            for (std::string& line : buffer.append(chunk))
                lines.push_back(std::move(line));
        EXPECT_EQ(lines, row.lines);
        EXPECT_EQ(buffer.finish(), row.rest);
        EXPECT_EQ(buffer.finish(), "");
    }
}

} // namespace
} // namespace quillmorph
