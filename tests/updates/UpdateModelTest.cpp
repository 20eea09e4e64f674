#include "updates/UpdateModel.h"

#include "common/UserDefaults.h"
#include "tests/support/TemporaryDirectory.h"

#include <deque>
#include <gtest/gtest.h>

using namespace quillmorph;
using Failure = UpdateChecker::Failure;

namespace {

const Release release{.version = "9.1", .url = "https://example.org/get"};

} // namespace

// The model's checks are held here and answered by the test, as a background check answers later.
class UpdateModelTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("QUILLMORPH_CONFIG_DIR", m_folder.path().c_str(), 1); }
    void TearDown() override { unsetenv("QUILLMORPH_CONFIG_DIR"); }

    UpdateModel::Check check() {
        return [this](std::function<void(UpdateModel::Outcome)> done) {
            m_pending.push_back(std::move(done));
        };
    }
    void answer(const UpdateModel::Outcome& outcome) {
        ASSERT_FALSE(m_pending.empty());
        auto done = std::move(m_pending.front());
        m_pending.pop_front();
        done(outcome);
    }

    quillmorph::testing::TemporaryDirectory m_folder;
    std::deque<std::function<void(UpdateModel::Outcome)>> m_pending;
};

TEST_F(UpdateModelTest, MovesFromCheckingToEachOutcomeAndStaysAvailable) {
    UpdateModel model(std::nullopt, check());
    int changes = 0;
    model.setOnChange([&] { ++changes; });
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Checking{}));
    EXPECT_TRUE(model.enabled());

    model.refresh();
    answer(std::nullopt);
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Current{}));
    model.refresh();
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Checking{}));
    answer(tl::unexpected(Failure::timedOut));
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Failed{}));
    model.refresh();
    answer(release);
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Available{release}));
    EXPECT_EQ(changes, 6);

    model.refresh();
    EXPECT_TRUE(m_pending.empty());
}

TEST_F(UpdateModelTest, AnOverlappingCheckDoesNotHideAFoundRelease) {
    UpdateModel model(std::nullopt, check());
    model.refresh();
    model.refresh();
    answer(release);
    answer(std::nullopt);
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Available{release}));
}

TEST_F(UpdateModelTest, TheSwitchIsStoredAndTurningItOnChecks) {
    UserDefaults::setBoolean("QuillmorphChecksForUpdates", false);
    UpdateModel model(std::nullopt, check());
    EXPECT_FALSE(model.enabled());
    model.refresh();
    EXPECT_TRUE(m_pending.empty());
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Checking{}));

    model.setEnabled(true);
    EXPECT_EQ(UserDefaults::boolean("QuillmorphChecksForUpdates"), true);
    ASSERT_EQ(m_pending.size(), 1u);
    answer(tl::unexpected(Failure::malformedRelease));

    model.setEnabled(false);
    EXPECT_EQ(UserDefaults::boolean("QuillmorphChecksForUpdates"), false);
    EXPECT_EQ(model.state(), UpdateModel::State(UpdateModel::Failed{}));
    model.setEnabled(false);
    EXPECT_TRUE(m_pending.empty());
}

TEST_F(UpdateModelTest, ACheckEndingAfterTheModelIsGoneReportsToNoOne) {
    {
        UpdateModel model(std::nullopt, check());
        model.refresh();
    }
    answer(release);
}
