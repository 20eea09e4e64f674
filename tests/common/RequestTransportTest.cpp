#include "common/RequestTransport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace quillmorph {
namespace {

std::string payloadOf(const std::string& url) { return url.substr(url.find("payload=") + 8); }

TEST(RequestTransport, RoundTripsEveryActionAndAwkwardPaths) {
    for (ActionKind action : allCases<ActionKind>()) {
        SCOPED_TRACE(std::string(toString(action)));
        QuillmorphRequest request{.action = action,
                                  .paths = {"/home/ana/My Photos/a b.jpg", "/tmp/ünï cødé/ß.png", "/x/%41+&=?#.pdf"}};
        auto url = RequestTransport::url(request);
        ASSERT_TRUE(url);
        EXPECT_TRUE(url->starts_with("quillmorph://run?payload="));
        EXPECT_EQ(payloadOf(*url).find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos);
        EXPECT_EQ(RequestTransport::request(*url), request);
    }
}

// Any host and the first payload; percent escapes decoded in key and value; padded and standard
// base64 as other writers send it. Anything malformed gives nothing, silently.
TEST(RequestTransport, ReadsWhatOtherWritersSendAndRejectsTheMalformed) {
    const QuillmorphRequest first{.action = ActionKind::pdf, .paths = {"/a.pdf"}};
    const std::string one = payloadOf(*RequestTransport::url(first));
    const std::string two = payloadOf(*RequestTransport::url({.action = ActionKind::video, .paths = {"/b.mov"}}));
    std::string escaped;
    for (char c : one)
        escaped += c == 'e' ? std::string("%65") : std::string(1, c);
    const struct {
        std::string url;
        std::optional<QuillmorphRequest> expected;
    } rows[] = {
        {"quillmorph://elsewhere?payload=" + one + "#fragment", first},
        {"quillmorph://run/some/path?other=1&payload=" + one + "&payload=" + two, first},
        {"quillmorph://run?pay%6Coad=" + escaped, first},
        // {"action":"image","paths":["/a?>"]}
        {"quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjpbIi9hPz4iXX0=",
         QuillmorphRequest{.action = ActionKind::image, .paths = {"/a?>"}}},
        // {"paths":[">>>?"],"action":"video"}: "+" and "/" of the standard alphabet
        {"quillmorph://run?payload=eyJwYXRocyI6WyI+Pj4/Il0sImFjdGlvbiI6InZpZGVvIn0=",
         QuillmorphRequest{.action = ActionKind::video, .paths = {">>>?"}}},
        // {"action":"image","paths":[],"extra":1}
        {"quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjpbXSwiZXh0cmEiOjF9",
         QuillmorphRequest{.action = ActionKind::image}},
        {"https://run?payload=" + one, std::nullopt},
        {"quillmorph://run", std::nullopt},
        {"quillmorph://run?other=" + one, std::nullopt},
        {"quillmorph://run?payload&payload=" + one, std::nullopt},
        {"quillmorph://run?payload=" + one.substr(0, 4) + "!" + one.substr(5), std::nullopt},
        {"quillmorph://run?payload=" + one + std::string((5 - one.size() % 4) % 4, 'A'), std::nullopt},
        {"quillmorph://run?payload=eyJh=Y3Rpb24i", std::nullopt},
        {"quillmorph://run?payload=%G1" + one, std::nullopt},
        // {"action":"resize","paths":[]}, {"action":"image"}, {"action":"image","paths":"/a"}, a cut one
        {"quillmorph://run?payload=eyJhY3Rpb24iOiJyZXNpemUiLCJwYXRocyI6W119", std::nullopt},
        {"quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSJ9", std::nullopt},
        {"quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjoiL2EifQ", std::nullopt},
        {"quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjpb", std::nullopt},
    };
    for (const auto& [url, expected] : rows) {
        SCOPED_TRACE(url);
        EXPECT_EQ(RequestTransport::request(url), expected);
    }
}

TEST(RequestTransport, LongURLsTravelAsStoredRequestsReadOnce) {
    namespace fs = std::filesystem;
    std::string runtime = (fs::temp_directory_path() / "transport-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(runtime.data()));
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string shortURL = *RequestTransport::url({.action = ActionKind::image, .paths = {"/a.jpg"}});
    EXPECT_EQ(RequestTransport::passable(shortURL), shortURL);
    EXPECT_EQ(RequestTransport::retrieved(shortURL), shortURL);
    const std::string longURL = *RequestTransport::url(
        {.action = ActionKind::image, .paths = std::vector<std::string>(5000, "/photos/holiday.jpg")});
    const std::optional<std::string> passed = RequestTransport::passable(longURL);
    ASSERT_TRUE(passed);
    EXPECT_LT(passed->size(), 64U);
    const fs::path folder = fs::path(runtime) / "quillmorph";
    const fs::path stored = folder / passed->substr(passed->find('=') + 1);
    EXPECT_EQ(fs::status(stored).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(RequestTransport::retrieved(*passed), longURL);
    EXPECT_EQ(RequestTransport::retrieved(*passed), std::nullopt) << "read once";

    // Only a plain file of this user's alone, named as ours, in the runtime folder.
    std::ofstream(folder / "request-Sh4red") << shortURL;
    fs::permissions(folder / "request-Sh4red", fs::perms::others_read, fs::perm_options::add);
    std::ofstream(fs::path(runtime) / "elsewhere") << shortURL;
    std::ofstream(folder / "request-ab~-cd") << shortURL; // six letters or digits are ours
    fs::permissions(folder / "request-ab~-cd", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(fs::path(runtime) / "elsewhere", folder / "request-Linked");
    for (const char* url : {"quillmorph://run?stored=request-Sh4red", "quillmorph://run?stored=request-Linked",
                            "quillmorph://run?stored=../elsewhere", "quillmorph://run?stored=request-ab~-cd",
                            "quillmorph://run?stored"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(RequestTransport::retrieved(url), std::nullopt);
    }
    fs::remove_all(runtime);
    ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(QuillmorphRequest, URLsAreFileURLsOfThePathsInOrder) {
    QuillmorphRequest request{.action = ActionKind::image, .paths = {"/home/a b/c#d.jpg", "/x/é.png", "/y/100%.gif"}};
    EXPECT_EQ(request.urls(), (std::vector<std::string>{"file:///home/a%20b/c%23d.jpg", "file:///x/%C3%A9.png",
                                                         "file:///y/100%25.gif"}));
}

} // namespace
} // namespace quillmorph
