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

TEST(RequestTransport, AcceptsAnyHostAndTheFirstPayload) {
    QuillmorphRequest first{.action = ActionKind::pdf, .paths = {"/a.pdf"}};
    QuillmorphRequest second{.action = ActionKind::video, .paths = {"/b.mov"}};
    std::string one = payloadOf(*RequestTransport::url(first));
    std::string two = payloadOf(*RequestTransport::url(second));

    EXPECT_EQ(RequestTransport::request("quillmorph://elsewhere?payload=" + one), first);
    EXPECT_EQ(RequestTransport::request("quillmorph://run/some/path?other=1&payload=" + one + "&payload=" + two),
              first);
    EXPECT_EQ(RequestTransport::request("quillmorph://run?payload=" + one + "#fragment"), first);
    // Percent escapes in the query are decoded, in the key and in the value.
    std::string escaped;
    for (char c : one)
        escaped += c == 'e' ? std::string("%65") : std::string(1, c);
    EXPECT_EQ(RequestTransport::request("quillmorph://run?pay%6Coad=" + escaped), first);
}

TEST(RequestTransport, DecodesPayloadsOfOtherWriters) {
    struct Row {
        const char* why;
        const char* payload;
        QuillmorphRequest expected;
    };
    const Row rows[] = {
        // {"action":"image","paths":["/a?>"]}
        {"padded", "eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjpbIi9hPz4iXX0=",
         {.action = ActionKind::image, .paths = {"/a?>"}}},
        // {"paths":[">>>?"],"action":"video"}: "+" and "/" of the standard alphabet
        {"standard alphabet", "eyJwYXRocyI6WyI+Pj4/Il0sImFjdGlvbiI6InZpZGVvIn0=",
         {.action = ActionKind::video, .paths = {">>>?"}}},
        // {"action":"image","paths":[],"extra":1}
        {"no paths, an unknown key", "eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjpbXSwiZXh0cmEiOjF9",
         {.action = ActionKind::image}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(RequestTransport::request(std::string("quillmorph://run?payload=") + row.payload), row.expected);
    }
}

TEST(RequestTransport, RejectsMalformedURLsSilently) {
    std::string good = payloadOf(*RequestTransport::url({.action = ActionKind::image, .paths = {"/a.jpg"}}));
    struct Row {
        const char* why;
        std::string url;
    };
    const Row rows[] = {
        {"wrong scheme", "https://run?payload=" + good},
        {"no query", "quillmorph://run"},
        {"no payload item", "quillmorph://run?other=" + good},
        {"payload without value", "quillmorph://run?payload&payload=" + good},
        {"bad base64 character", "quillmorph://run?payload=" + good.substr(0, 4) + "!" + good.substr(5)},
        {"length one more than a multiple of four", "quillmorph://run?payload=" + good + std::string((5 - good.size() % 4) % 4, 'A')},
        {"padding in the middle", "quillmorph://run?payload=eyJh=Y3Rpb24i"},
        {"malformed percent escape", "quillmorph://run?payload=%G1" + good},
        // {"action":"resize","paths":[]}
        {"unknown action", "quillmorph://run?payload=eyJhY3Rpb24iOiJyZXNpemUiLCJwYXRocyI6W119"},
        // {"action":"image"}
        {"missing paths", "quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSJ9"},
        // {"action":"image","paths":"/a"}
        {"paths not a list", "quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjoiL2EifQ"},
        // {"action":"image","paths":[
        {"truncated JSON", "quillmorph://run?payload=eyJhY3Rpb24iOiJpbWFnZSIsInBhdGhzIjpb"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_FALSE(RequestTransport::request(row.url));
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
    std::ofstream(folder / "request-Shared") << shortURL;
    fs::permissions(folder / "request-Shared", fs::perms::others_read, fs::perm_options::add);
    std::ofstream(fs::path(runtime) / "elsewhere") << shortURL;
    fs::create_symlink(fs::path(runtime) / "elsewhere", folder / "request-Linked");
    for (const char* url : {"quillmorph://run?stored=request-Shared", "quillmorph://run?stored=request-Linked",
                            "quillmorph://run?stored=../elsewhere", "quillmorph://run?stored"}) {
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
