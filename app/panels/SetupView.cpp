#include "SetupView.h"

#include "PanelChrome.h"
#include "app/AppIcon.h"
#include "app/Background.h"
#include "app/NetworkFetch.h"
#include "app/Texts.h"
#include "common/Bundle.h"
#include "common/Localization.h"
#include "updates/SiteLinks.h"
#include "updates/UpdateChecker.h"
#include "updates/WebAddress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <array>

namespace quillmorph {

namespace {

constexpr int iconExtent = 56;
constexpr int kindIconExtent = 24;

QLabel* plainLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    // Texts come from the language document and the release feed: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

void scaleFont(QWidget* widget, double factor, QFont::Weight weight) {
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setWeight(weight);
    widget->setFont(font);
}

// Only web pages reach the browser: an address from the feed or the defaults may be anything.
void openWebPage(const std::optional<std::string>& address) {
    if (address && isWebAddress(*address))
        QDesktopServices::openUrl(QUrl(QString::fromStdString(*address)));
}

// The update check of the window's model: off the main thread, its outcome handed back to `context`.
UpdateModel::Check checkFor(QObject* context) {
    return [context](std::function<void(UpdateModel::Outcome)> done) {
        runInBackground([] {
            return UpdateChecker::check(UpdateChecker::feed(), UpdateChecker::installedVersion(),
                                        NetworkFetch::fetch);
        }).then(context, std::move(done));
    };
}

struct Kind {
    QStyle::StandardPixmap fallback;
    const char* icon; // a freedesktop icon name
    Phrase name;
    Phrase detail;
};

const std::array<Kind, 4> kinds{{
    {QStyle::SP_FileIcon, "image-x-generic", Phrase::setupKindImages, Phrase::setupKindImagesDetail},
    {QStyle::SP_MediaPlay, "video-x-generic", Phrase::setupKindVideo, Phrase::setupKindVideoDetail},
    {QStyle::SP_MediaVolume, "audio-x-generic", Phrase::setupKindAudio, Phrase::setupKindAudioDetail},
    {QStyle::SP_FileIcon, "application-pdf", Phrase::setupKindPdf, Phrase::setupKindPdfDetail},
}};

const std::array<Phrase, 5> steps{Phrase::setupStep1, Phrase::setupStep2, Phrase::setupStep3,
                                  Phrase::setupStep4, Phrase::setupStep5};

} // namespace

SetupView::SetupView(std::optional<Release> release, QWidget* parent)
    : QWidget(parent), m_updates(std::move(release), checkFor(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(14);
    layout->addWidget(makeHeader());
    layout->addWidget(makeBanner());
    QLabel* intro = phraseLabel(Phrase::setupIntro, this);
    intro->setObjectName(QStringLiteral("intro"));
    layout->addWidget(intro);
    QLabel* whatItDoes = phraseLabel(Phrase::setupWhatItDoes, this);
    scaleFont(whatItDoes, 1.0, QFont::DemiBold);
    layout->addWidget(whatItDoes);
    layout->addWidget(makeKinds());
    QLabel* toActivate = phraseLabel(Phrase::setupToActivate, this);
    scaleFont(toActivate, 1.0, QFont::DemiBold);
    layout->addWidget(toActivate);
    layout->addWidget(makeSteps());
    layout->addWidget(makeActions());
    layout->addWidget(makeDonation());
    layout->addWidget(makeStatusLine());
    setFixedWidth(540);

    m_updates.setOnChange([this] { renderUpdates(); });
    renderUpdates();
}

QWidget* SetupView::makeHeader() {
    auto* header = new QWidget(this);
    auto* icon = new QLabel(header);
    icon->setObjectName(QStringLiteral("appIcon"));
    const QIcon appIcon = AppIcon::icon();
    icon->setPixmap((appIcon.isNull() ? style()->standardIcon(QStyle::SP_DesktopIcon) : appIcon)
                        .pixmap(iconExtent, iconExtent));
    icon->setFixedSize(iconExtent, iconExtent);

    auto* name = new QLabel(QStringLiteral("Quillmorph"), header);
    scaleFont(name, 1.6, QFont::Bold);
    QLabel* version = plainLabel(header);
    version->setObjectName(QStringLiteral("version"));
    version->setForegroundRole(QPalette::PlaceholderText);
    addText([version] {
        version->setText(text(Phrase::setupVersion, {{"version", std::string(Bundle::version())}}));
    });

    m_languages = new QComboBox(header);
    m_languages->setObjectName(QStringLiteral("language"));
    for (const Language& language : Localization::languages()) {
        m_languages->addItem(QString::fromStdString(language.flag + "  " + language.name),
                             QString::fromStdString(language.code));
    }
    m_languages->setCurrentIndex(m_languages->findData(QString::fromStdString(m_language.code())));
    // The picker's label is not shown; it names the control for assistive technology.
    addText([this] { m_languages->setAccessibleName(text(Phrase::setupLanguage)); });
    connect(m_languages, &QComboBox::currentIndexChanged, this, &SetupView::chooseLanguage);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addStretch(1);
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addStretch(1);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(icon);
    layout->addLayout(texts, 1);
    layout->addWidget(m_languages, 0, Qt::AlignTop);
    return header;
}

QWidget* SetupView::makeBanner() {
    m_banner = new QFrame(this);
    m_banner->setObjectName(QStringLiteral("updateBanner"));
    m_banner->setStyleSheet(
        QStringLiteral("#updateBanner { background: rgba(52, 120, 246, 0.12); border-radius: 10px; }"));
    m_bannerTitle = plainLabel(m_banner);
    scaleFont(m_bannerTitle, 1.0, QFont::DemiBold);
    m_summary = plainLabel(m_banner);
    auto* download = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown), QString(), m_banner);
    download->setObjectName(QStringLiteral("download"));
    addText([download] { download->setText(text(Phrase::updateDownload)); });
    connect(download, &QPushButton::clicked, this, [this] {
        if (const auto* available = std::get_if<UpdateModel::Available>(&m_updates.state()))
            openWebPage(available->release.url);
    });

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(m_bannerTitle);
    texts->addWidget(m_summary);
    auto* layout = new QHBoxLayout(m_banner);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(12);
    layout->addLayout(texts, 1);
    layout->addWidget(download, 0, Qt::AlignVCenter);
    return m_banner;
}

QWidget* SetupView::makeKinds() {
    auto* card = new PanelCard(this);
    for (const Kind& kind : kinds) {
        auto* row = new QWidget(card);
        auto* icon = new QLabel(row);
        icon->setPixmap(QIcon::fromTheme(QString::fromLatin1(kind.icon), style()->standardIcon(kind.fallback))
                            .pixmap(kindIconExtent, kindIconExtent));
        icon->setFixedSize(kindIconExtent, kindIconExtent);
        QLabel* name = phraseLabel(kind.name, row);
        scaleFont(name, 1.0, QFont::DemiBold);
        QLabel* detail = phraseLabel(kind.detail, row);
        detail->setForegroundRole(QPalette::PlaceholderText);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        texts->addWidget(name);
        texts->addWidget(detail);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        layout->addWidget(icon, 0, Qt::AlignTop);
        layout->addLayout(texts, 1);
        card->addRow(row);
    }
    return card;
}

QWidget* SetupView::makeSteps() {
    auto* list = new QWidget(this);
    auto* layout = new QVBoxLayout(list);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    for (std::size_t index = 0; index < steps.size(); ++index) {
        auto* number = new QLabel(QString::number(index + 1), list);
        scaleFont(number, 1.0, QFont::Bold);
        number->setFixedWidth(20);
        number->setAlignment(Qt::AlignRight | Qt::AlignTop);
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(number, 0, Qt::AlignTop);
        row->addWidget(phraseLabel(steps[index], list), 1);
        layout->addLayout(row);
    }
    return list;
}

QWidget* SetupView::makeActions() {
    auto* actions = new QWidget(this);
    auto* openSettings = new QPushButton(actions);
    openSettings->setObjectName(QStringLiteral("openSettings"));
    addText([openSettings] { openSettings->setText(text(Phrase::setupOpenSettings)); });
    connect(openSettings, &QPushButton::clicked, this, [] { openWebPage(SiteLinks::page("install")); });
    auto* restartFileManager = new QPushButton(actions);
    restartFileManager->setObjectName(QStringLiteral("restartFileManager"));
    addText([restartFileManager] { restartFileManager->setText(text(Phrase::setupRestartFinder)); });
    // GNOME Files quits and starts again, with its extensions, when it is next used. A missing
    // program is not worth a message.
    connect(restartFileManager, &QPushButton::clicked, this,
            [] { QProcess::startDetached(QStringLiteral("nautilus"), {QStringLiteral("-q")}); });
    auto* layout = new QHBoxLayout(actions);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(openSettings, 1);
    layout->addWidget(restartFileManager, 1);
    return actions;
}

QWidget* SetupView::makeDonation() {
    auto* card = new PanelCard(this);
    auto* block = new QWidget(card);
    auto* icon = new QLabel(block);
    icon->setPixmap(
        QIcon::fromTheme(QStringLiteral("emblem-favorite"), style()->standardIcon(QStyle::SP_DialogYesButton))
            .pixmap(kindIconExtent, kindIconExtent));
    QLabel* title = phraseLabel(Phrase::setupDonateTitle, block);
    scaleFont(title, 1.0, QFont::DemiBold);
    QLabel* body = phraseLabel(Phrase::setupDonateBody, block);
    auto* donate = new QPushButton(block);
    donate->setObjectName(QStringLiteral("donate"));
    addText([donate] { donate->setText(QStringLiteral("♥ ") + text(Phrase::setupDonate)); });
    connect(donate, &QPushButton::clicked, this, [] { openWebPage(SiteLinks::page("donate")); });

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(title);
    texts->addWidget(body);
    auto* layout = new QHBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
    layout->addWidget(donate, 0, Qt::AlignVCenter);
    card->addRow(block);
    return card;
}

QWidget* SetupView::makeStatusLine() {
    auto* line = new QWidget(this);
    m_status = plainLabel(line);
    m_status->setObjectName(QStringLiteral("updateStatus"));
    m_status->setForegroundRole(QPalette::PlaceholderText);
    m_enabled = new QCheckBox(line);
    m_enabled->setObjectName(QStringLiteral("updateEnabled"));
    addText([this] { m_enabled->setText(text(Phrase::updateEnabled)); });
    connect(m_enabled, &QCheckBox::toggled, this, [this](bool enabled) { m_updates.setEnabled(enabled); });
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_status, 1);
    layout->addWidget(m_enabled);
    return line;
}

QLabel* SetupView::phraseLabel(Phrase phrase, QWidget* parent) {
    QLabel* label = plainLabel(parent);
    addText([label, phrase] { label->setText(text(phrase)); });
    return label;
}

void SetupView::addText(std::function<void()> render) {
    render();
    m_texts.push_back(std::move(render));
}

void SetupView::render() {
    for (const auto& render : m_texts)
        render();
    renderUpdates();
}

void SetupView::renderUpdates() {
    const UpdateModel::State& state = m_updates.state();
    const auto* available = std::get_if<UpdateModel::Available>(&state);
    const auto announcement = [](const Release& release) {
        return text(Phrase::updateAvailable, {{"version", release.version}});
    };
    m_banner->setVisible(available != nullptr);
    if (available) {
        const std::optional<std::string> summary = available->release.summary();
        m_bannerTitle->setText(announcement(available->release));
        m_summary->setText(QString::fromStdString(summary.value_or("")));
        m_summary->setVisible(summary.has_value());
    }
    if (available)
        m_status->setText(announcement(available->release));
    else if (std::holds_alternative<UpdateModel::Checking>(state))
        m_status->setText(text(Phrase::updateChecking));
    else if (std::holds_alternative<UpdateModel::Current>(state))
        m_status->setText(text(Phrase::updateCurrent));
    else
        m_status->setText(text(Phrase::updateFailed));
    const QSignalBlocker quiet(m_enabled);
    m_enabled->setChecked(m_updates.enabled());
}

void SetupView::chooseLanguage(int index) {
    if (index < 0 || !m_language.setCode(m_languages->itemData(index).toString().toStdString()))
        return;
    render();
}

void SetupView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_refreshed) {
        m_refreshed = true;
        m_updates.refresh();
    }
}

} // namespace quillmorph
