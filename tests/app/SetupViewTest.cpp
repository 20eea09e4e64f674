#include "app/panels/SetupView.h"

#include "AppTestSupport.h"
#include "app/AppDelegate.h"
#include "app/AppIcon.h"
#include "app/panels/PanelWindow.h"
#include "common/Bundle.h"
#include "common/Localization.h"
#include "common/UserDefaults.h"
#include "tests/updates/FeedServer.h"
#include "updates/SiteLinks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>

using namespace quillmorph;
using namespace quillmorph::testing;

namespace {

QString phrase(Phrase phrase, std::string_view language, const Localization::Arguments& arguments = {}) {
    return QString::fromStdString(
        Localization::string(Localization::table(), language, Localization::fallback(), phrase, arguments));
}

QString labelText(const QWidget& view, const char* name) {
    const auto* label = view.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

QString buttonText(const QWidget& view, const char* name) {
    const auto* button = view.findChild<QAbstractButton*>(QString::fromLatin1(name));
    return button ? button->text() : QString();
}

bool bannerShown(const QWidget& view) {
    const auto* banner = view.findChild<QWidget*>(QStringLiteral("updateBanner"));
    return banner && banner->isVisibleTo(&view);
}

const Release release{.version = "9.2", .url = "https://example.org/get", .notes = {{"en", "Faster."}}};

std::string releaseJSON(const std::string& version) {
    return R"({"version": ")" + version +
           R"(", "url": "https://example.org/get", "notes": {"en": "Faster."}})";
}

} // namespace

class SetupViewTest : public QObject {
    Q_OBJECT

  private:
    PrivateEnvironment m_environment;

  private slots:
    void init() {
        // No check reaches the web: each test enables them and names its own feed where it needs one.
        PrivateEnvironment::resetDefaults();
        UserDefaults::setString("QuillmorphUpdateFeed", "http://127.0.0.1:9/version.json");
        Localization::setLanguage("en");
    }

    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void languagePickerSwitchesEveryTextAndStoresTheChoice() {
        QVERIFY(Localization::languages().size() >= 2);
        SetupView view(release);
        view.show();
        auto* picker = view.findChild<QComboBox*>(QStringLiteral("language"));
        QVERIFY(picker);
        QCOMPARE(picker->count(), int(Localization::languages().size()));
        QCOMPARE(picker->currentData().toString(), QStringLiteral("en"));
        // The banner announces the known release with its notes.
        QVERIFY(bannerShown(view));
        const auto texts = view.findChild<QWidget*>(QStringLiteral("updateBanner"))->findChildren<QLabel*>();
        QVERIFY(std::ranges::any_of(
            texts, [](QLabel* label) { return label->text() == QStringLiteral("Faster."); }));

        for (const char* code : {"it", "en"}) {
            picker->setCurrentIndex(picker->findData(QString::fromLatin1(code)));
            QCOMPARE(labelText(view, "intro"), phrase(Phrase::setupIntro, code));
            QCOMPARE(labelText(view, "version"),
                     phrase(Phrase::setupVersion, code, {{"version", std::string(Bundle::version())}}));
            QCOMPARE(labelText(view, "updateStatus"),
                     phrase(Phrase::updateAvailable, code, {{"version", "9.2"}}));
            QCOMPARE(buttonText(view, "updateEnabled"), phrase(Phrase::updateEnabled, code));
            QCOMPARE(UserDefaults::string("QuillmorphLanguage"), std::optional<std::string>(code));
        }
        QVERIFY(phrase(Phrase::setupIntro, "it") != phrase(Phrase::setupIntro, "en"));
        // The header shows the application's own icon, found beside the resources.
        QVERIFY(!AppIcon::icon().availableSizes().isEmpty());
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("appIcon"))->pixmap().toImage(),
                 AppIcon::icon().pixmap(56, 56).toImage());
    }

    void buttonsOpenOnlyWebPages() {
        UrlHandler browser({QStringLiteral("https"), QStringLiteral("http"), QStringLiteral("file"),
                            QStringLiteral("javascript")});
        SetupView view(release);
        view.show();
        QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("download")), Qt::LeftButton);
        QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("openSettings")), Qt::LeftButton);
        QCOMPARE(browser.opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.org/get")),
                                              QUrl(QString::fromStdString(*SiteLinks::page("install")))}));

        browser.opened.clear();
        for (const char* url : {"file:///etc/passwd", "javascript:alert(document.cookie)", "https://"}) {
            SetupView hostile(Release{.version = "9.3", .url = url});
            hostile.show();
            QTest::mouseClick(hostile.findChild<QPushButton*>(QStringLiteral("download")), Qt::LeftButton);
        }
        QVERIFY(browser.opened.isEmpty());
    }

    void tickingTheCheckBoxChecksAtOnce() {
        FeedServer feed({.body = releaseJSON("99.0")});
        UserDefaults::setString("QuillmorphUpdateFeed", feed.url());
        SetupView view(std::nullopt);
        view.show();
        auto* enabled = view.findChild<QCheckBox*>(QStringLiteral("updateEnabled"));
        QVERIFY(!enabled->isChecked());
        // Checks are off: no banner, and the status stays where it started.
        QTest::qWait(200);
        QVERIFY(!bannerShown(view));
        QCOMPARE(labelText(view, "updateStatus"), phrase(Phrase::updateChecking, "en"));

        enabled->click();
        QCOMPARE(UserDefaults::boolean("QuillmorphChecksForUpdates"), std::optional(true));
        QTRY_VERIFY_WITH_TIMEOUT(bannerShown(view), patience);
        QCOMPARE(labelText(view, "updateStatus"),
                 phrase(Phrase::updateAvailable, "en", {{"version", "99.0"}}));
    }

    void aFeedThatIsNotAReleaseShowsTheFailure() {
        FeedServer feed({.status = 502, .contentType = "text/html", .body = "<html>Bad Gateway</html>"});
        UserDefaults::setString("QuillmorphUpdateFeed", feed.url());
        UserDefaults::setBoolean("QuillmorphChecksForUpdates", true);
        SetupView view(std::nullopt);
        view.show();
        QTRY_COMPARE_WITH_TIMEOUT(labelText(view, "updateStatus"), phrase(Phrase::updateFailed, "en"),
                                  patience);
        QVERIFY(!bannerShown(view));
    }

    void aReleaseFoundAtLaunchOpensTheSetupWindowBesideTheRequest() {
        FeedServer feed({.body = releaseJSON("99.0")});
        UserDefaults::setString("QuillmorphUpdateFeed", feed.url());
        UserDefaults::setBoolean("QuillmorphChecksForUpdates", true);
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        // A request suppresses the setup window; its file is gone, so it opens no panel either.
        delegate.openURLs({requestURL(ActionKind::image, {"/nonexistent/photo.jpg"})});
        QTRY_VERIFY_WITH_TIMEOUT(delegate.setupPanel(), patience);
        QCOMPARE(delegate.activeJobs(), 0);
        auto* view = delegate.setupPanel()->window()->findChild<SetupView*>();
        QVERIFY(view);
        QVERIFY(bannerShown(*view));
        delegate.setupPanel()->window()->close();
        QVERIFY(delegate.panels().empty());
    }
};

QTEST_MAIN(SetupViewTest)
#include "SetupViewTest.moc"
