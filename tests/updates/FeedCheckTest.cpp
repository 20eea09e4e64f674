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

constexpr std::size_t fiftyMegabytes = 50 * 1000 * 1000;

const std::string newerJSON =
    R"({"version": "1.10", "url": "https://example.org/download", "notes": {"en": "Faster."}})";

// Against an installed version 1.2, patient enough for a loaded machine.
Outcome check(const std::string& url) {
    return UpdateChecker::check(url, "1.2", NetworkFetch::fetch, std::chrono::seconds(3));
}

} // namespace

TEST(FeedCheck, AnswersAReleaseOnlyWhenItIsNewer) {
    const Release newer{
        .version = "1.10", .url = "https://example.org/download", .notes = {{"en", "Faster."}}};
    const struct {
        const char* name;
        FeedServer::Answer answer;
        Outcome expected;
    } cases[] = {
        {"same version",
         {.body = R"({"version": "1.2.0", "url": "https://example.org/download"})"},
         std::nullopt},
        {"newer release, whatever the status", {.status = 500, .body = newerJSON}, newer},
        {"empty body", {.status = 204}, tl::unexpected(Failure::malformedRelease)},
        {"never answers", {.silent = true}, tl::unexpected(Failure::timedOut)},
        // Valid JSON all the way: only the size limit stops these.
        {"50 MB announced",
         {.body = newerJSON, .padding = fiftyMegabytes},
         tl::unexpected(Failure::tooLarge)},
        {"50 MB until the connection closes",
         {.body = newerJSON, .padding = fiftyMegabytes, .announcesLength = false},
         tl::unexpected(Failure::tooLarge)},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        FeedServer server(test.answer);
        EXPECT_EQ(check(server.url()), test.expected);
        EXPECT_LT(server.bytesSent(), fiftyMegabytes / 2);
    }
}

TEST(FeedCheck, NeedsAFeedAVersionAndAListeningWebServer) {
    const std::string closedPort = FeedServer({}).url();
    for (const std::string& url : {closedPort, std::string("file:///etc/hostname"),
                                   std::string("ftp://127.0.0.1/version.json"), std::string("data:,{}")}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(check(url), tl::unexpected(Failure::unreachable));
    }
    EXPECT_EQ(UpdateChecker::check(std::nullopt, "1.2", NetworkFetch::fetch),
              tl::unexpected(Failure::noFeed));
    EXPECT_EQ(UpdateChecker::check(closedPort, std::nullopt, NetworkFetch::fetch),
              tl::unexpected(Failure::unknownVersion));
}

// Qt Network needs an application object on the thread that fetches.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
