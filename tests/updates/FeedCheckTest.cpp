#include "FeedServer.h"
#include "app/NetworkFetch.h"
#include "updates/UpdateChecker.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace quillmorph;
using namespace quillmorph::testing;
using Failure = UpdateChecker::Failure;
using Outcome = tl::expected<std::optional<Release>, Failure>;

namespace {

constexpr std::chrono::milliseconds shortTimeout{1000};

std::string releaseJSON(const std::string& version) {
    return R"({"version": ")" + version +
           R"(", "url": "https://example.org/download", "notes": {"en": "Faster."}})";
}

Outcome checkAgainst(const FeedServer& server, const std::string& installed) {
    return UpdateChecker::check(server.url(), installed, NetworkFetch::fetch, shortTimeout);
}

} // namespace

TEST(FeedCheck, AnswersAReleaseOnlyWhenItIsNewer) {
    struct Case {
        const char* name;
        FeedServer::Answer answer;
        std::string installed;
        Outcome expected;
    };
    const Release newer{
        .version = "1.10", .url = "https://example.org/download", .notes = {{"en", "Faster."}}};
    const std::vector<Case> cases{
        {"newer release", {.body = releaseJSON("1.10")}, "1.2", newer},
        {"same version", {.body = releaseJSON("1.2.0")}, "1.2", std::nullopt},
        {"status code is not examined", {.status = 500, .body = releaseJSON("1.10")}, "1.2", newer},
        {"HTML error page",
         {.status = 404,
          .contentType = "text/html",
          .body = "<html><body><h1>404 Not Found</h1></body></html>"},
         "1.2",
         tl::unexpected(Failure::malformedRelease)},
        {"empty body", {.status = 204}, "1.2", tl::unexpected(Failure::malformedRelease)},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        FeedServer server(test.answer);
        EXPECT_EQ(checkAgainst(server, test.installed), test.expected);
    }
}

TEST(FeedCheck, StopsReadingAFiftyMegabyteFeed) {
    constexpr std::size_t fiftyMegabytes = 50 * 1000 * 1000;
    for (const bool announcesLength : {true, false}) {
        SCOPED_TRACE(announcesLength ? "with Content-Length" : "until the connection closes");
        // Valid JSON all the way: only the size limit stops it.
        FeedServer server(
            {.body = releaseJSON("9.0"), .padding = fiftyMegabytes, .announcesLength = announcesLength});
        EXPECT_EQ(checkAgainst(server, "1.0"), tl::unexpected(Failure::tooLarge));
        EXPECT_LT(server.bytesSent(), fiftyMegabytes / 2);
    }
}

TEST(FeedCheck, GivesUpOnAServerThatNeverAnswers) {
    FeedServer server({.silent = true});
    EXPECT_EQ(checkAgainst(server, "1.0"), tl::unexpected(Failure::timedOut));
}

TEST(FeedCheck, ReportsAClosedPortAsUnreachable) {
    std::string url;
    {
        FeedServer closed({});
        url = closed.url();
    }
    EXPECT_EQ(UpdateChecker::check(url, "1.0", NetworkFetch::fetch, shortTimeout),
              tl::unexpected(Failure::unreachable));
}

TEST(FeedCheck, FetchesOnlyWebAddresses) {
    for (const char* url : {"file:///etc/hostname", "ftp://127.0.0.1/version.json", "data:,{}"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(NetworkFetch::fetch({.url = url, .timeout = shortTimeout, .maximumBytes = 1024}),
                  tl::unexpected(FetchError::unreachable));
    }
}

// Qt Network needs an application object on the thread that fetches.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
