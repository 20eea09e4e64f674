#include "updates/UpdateModel.h"

#include "common/UserDefaults.h"
#include "tests/support/TemporaryDirectory.h"

#include <deque>
#include <gtest/gtest.h>

using namespace quillmorph;
using Failure = UpdateChecker::Failure;
using State = UpdateModel::State;

TEST(UpdateModel, FollowsItsSwitchAndEachOutcomeAndKeepsAFoundRelease) {
    const quillmorph::testing::TemporaryDirectory folder;
    setenv("QUILLMORPH_CONFIG_DIR", folder.path().c_str(), 1);
    const Release release{.version = "9.1", .url = "https://example.org/get"};
    // The model's checks are held here and answered by the test, as a background check answers later.
    std::deque<std::function<void(UpdateModel::Outcome)>> pending;
    const UpdateModel::Check check = [&](auto done) { pending.push_back(std::move(done)); };
    const auto answer = [&](const UpdateModel::Outcome& outcome) {
        ASSERT_FALSE(pending.empty());
        auto done = std::move(pending.front());
        pending.pop_front();
        done(outcome);
    };
    UserDefaults::setBoolean("QuillmorphChecksForUpdates", false);
    UpdateModel model(std::nullopt, check);
    int changes = 0;
    model.setOnChange([&] { ++changes; });
    EXPECT_EQ(model.state(), State(UpdateModel::Checking{}));
    EXPECT_FALSE(model.enabled());
    model.refresh();
    EXPECT_TRUE(pending.empty());

    model.setEnabled(true);
    EXPECT_EQ(UserDefaults::boolean("QuillmorphChecksForUpdates"), true);
    answer(std::nullopt);
    EXPECT_EQ(model.state(), State(UpdateModel::Current{}));
    model.refresh();
    EXPECT_EQ(model.state(), State(UpdateModel::Checking{}));
    answer(tl::unexpected(Failure::timedOut));
    EXPECT_EQ(model.state(), State(UpdateModel::Failed{}));
    model.setEnabled(false);
    model.setEnabled(false);
    EXPECT_EQ(UserDefaults::boolean("QuillmorphChecksForUpdates"), false);
    EXPECT_EQ(model.state(), State(UpdateModel::Failed{}));
    EXPECT_TRUE(pending.empty());

    // Overlapping checks: the later "nothing newer" does not hide the release the first found.
    model.setEnabled(true);
    model.refresh();
    answer(release);
    answer(std::nullopt);
    EXPECT_EQ(model.state(), State(UpdateModel::Available{release}));
    EXPECT_EQ(changes, 10);
    model.refresh();
    model.setEnabled(false);
    model.setEnabled(true);
    EXPECT_TRUE(pending.empty());

    // A check that ends after the model is gone reports to no one.
    UpdateModel(std::nullopt, check).refresh();
    answer(release);
    unsetenv("QUILLMORPH_CONFIG_DIR");
}
