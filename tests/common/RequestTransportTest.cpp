#include "common/RequestTransport.h"

#include <gtest/gtest.h>

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

TEST(QuillmorphRequest, URLsAreFileURLsOfThePathsInOrder) {
    QuillmorphRequest request{.action = ActionKind::image, .paths = {"/home/a b/c#d.jpg", "/x/é.png", "/y/100%.gif"}};
    EXPECT_EQ(request.urls(), (std::vector<std::string>{"file:///home/a%20b/c%23d.jpg", "file:///x/%C3%A9.png",
                                                         "file:///y/100%25.gif"}));
}

} // namespace
} // namespace quillmorph
