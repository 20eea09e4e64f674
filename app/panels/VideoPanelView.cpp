#include "VideoPanelView.h"

#include "EstimateLine.h"
#include "FFmpegNotice.h"
#include "PanelChrome.h"
#include "PanelFooter.h"
#include "PanelHeader.h"
#include "SegmentedChoice.h"
#include "SizeControlsView.h"
#include "VideoPanel.h"
#include "app/Texts.h"
#include "common/Localization.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillmorph {

namespace {

const QString orange = QStringLiteral("rgb(230, 126, 34)");

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

template <typename Enum> QStringList labels() {
    QStringList labels;
    for (const Enum value : allCases<Enum>())
        labels.append(fromView(label(value)));
    return labels;
}

QLabel* caption(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    return label;
}

// Selects the entry whose data is `value`, or none, without reporting it as the user's choice.
void showChoice(QComboBox* picker, const QVariant& value) {
    const QSignalBlocker blocker(picker);
    picker->setCurrentIndex(picker->findData(value));
}

} // namespace

VideoPanelView::VideoPanelView(std::vector<std::filesystem::path> files, VideoInfo info, QWidget* parent)
    : QWidget(parent), m_panel(new VideoPanel(std::move(files), std::move(info), this)) {
    m_header = new PanelHeader(m_panel->files().front(), m_panel->title(), m_panel->subtitle(), this);
    if (m_panel->info().isHDR) {
        m_hdrBadge = new QLabel(QStringLiteral("HDR"));
        m_hdrBadge->setObjectName(QStringLiteral("hdr"));
        m_hdrBadge->setStyleSheet(QStringLiteral("color: %1; font-weight: bold;").arg(orange));
        m_header->setAccessory(m_hdrBadge);
    }

    m_advancedButton = new QToolButton;
    m_advancedButton->setText(text(Phrase::videoAdvanced));
    m_advancedButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_advancedButton->setAutoRaise(true);
    m_advanced = makeAdvancedCard();

    auto* noticeHolder = new QWidget;
    m_noticeHolder = new QVBoxLayout(noticeHolder);
    m_noticeHolder->setContentsMargins(0, 0, 0, 0);

    m_estimate = new EstimateLine;
    m_footer = new PanelFooter(text(Phrase::commonCompress), m_estimate, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    layout->addWidget(m_header);
    layout->addWidget(makeMainCard());
    layout->addWidget(m_advancedButton, 0, Qt::AlignLeft);
    layout->addWidget(m_advanced);
    layout->addWidget(noticeHolder);
    layout->addWidget(m_footer);
    setFixedWidth(480);

    connect(m_advancedButton, &QToolButton::clicked, m_panel,
            [this] { m_panel->setShowsAdvanced(!m_panel->showsAdvanced()); });
    connect(m_footer, &PanelFooter::cancelled, m_panel, &VideoPanel::cancel);
    connect(m_footer, &PanelFooter::confirmed, m_panel, &VideoPanel::confirm);
    connect(m_panel, &VideoPanel::presetApplied, this, &VideoPanelView::replaceSizeControls);
    connect(m_panel, &VideoPanel::changed, this, &VideoPanelView::refresh);
    replaceSizeControls();
    refresh();
}

QWidget* VideoPanelView::makeMainCard() {
    m_container = new SegmentedChoice(labels<VideoContainer>(), int(m_panel->settings().container));
    m_container->setFixedWidth(140);
    m_containerCaption = caption(text(Phrase::videoWebmNeedsFfmpegShort));
    m_containerCaption->setStyleSheet(QStringLiteral("color: %1;").arg(orange));
    connect(m_container, &SegmentedChoice::chosen, m_panel,
            [this](int index) { m_panel->setContainer(allCases<VideoContainer>()[std::size_t(index)]); });

    m_preset = new QComboBox;
    connect(m_preset, &QComboBox::activated, m_panel,
            [this](int index) { m_panel->choosePreset(m_preset->itemData(index).toString().toStdString()); });

    auto* sizes = new QWidget;
    m_sizeHolder = new QVBoxLayout(sizes);
    m_sizeHolder->setContentsMargins(0, 0, 0, 0);
    m_sizeHolder->setSpacing(4);
    m_outputSize = caption(QString());
    m_outputSize->setForegroundRole(QPalette::PlaceholderText);
    m_sizeHolder->addWidget(m_outputSize);

    m_quality = new QSlider(Qt::Horizontal);
    m_quality->setRange(int(VideoPanel::minimumBitrate), int(VideoPanel::maximumBitrate));
    m_quality->setSingleStep(int(VideoPanel::bitrateStep));
    m_quality->setPageStep(int(10 * VideoPanel::bitrateStep));
    m_qualityValue = new SliderValue(VideoPanel::bitrateText(VideoPanel::maximumBitrate), 88);
    connect(m_quality, &QSlider::valueChanged, m_panel, &VideoPanel::setVideoBitrate);

    m_includeAudio = new QCheckBox(text(Phrase::videoAudioInclude));
    m_audioBitrate = new QComboBox;
    for (const std::int64_t bitrate : VideoPanel::audioBitrates)
        m_audioBitrate->addItem(VideoPanel::bitrateText(bitrate), qint64(bitrate));
    m_noAudio = caption(text(Phrase::videoNoAudioTrack));
    m_noAudio->setForegroundRole(QPalette::PlaceholderText);
    connect(m_includeAudio, &QCheckBox::toggled, m_panel, &VideoPanel::setIncludeAudio);
    connect(m_audioBitrate, &QComboBox::activated, m_panel,
            [this](int index) { m_panel->setAudioBitrate(m_audioBitrate->itemData(index).toLongLong()); });

    auto* card = new PanelCard;
    card->addRow(new PanelRow(text(Phrase::labelContainer), sideBySide({m_container, m_containerCaption})));
    card->addRow(new PanelRow(text(Phrase::labelPreset), m_preset));
    card->addRow(new PanelRow(text(Phrase::labelDimensions), sizes));
    card->addRow(new PanelRow(text(Phrase::labelQuality), sliderRow(m_quality, m_qualityValue)));
    card->addRow(new PanelRow(text(Phrase::labelAudio),
                              stacked({sideBySide({m_includeAudio, m_audioBitrate}), m_noAudio})));
    return card;
}

QWidget* VideoPanelView::makeAdvancedCard() {
    m_codec = new SegmentedChoice(labels<VideoCodec>(), int(m_panel->settings().codec));
    m_codec->setFixedWidth(160);
    m_codecDetail = caption(QString());
    m_codecDetail->setForegroundRole(QPalette::PlaceholderText);
    connect(m_codec, &SegmentedChoice::chosen, m_panel,
            [this](int index) { m_panel->setCodec(allCases<VideoCodec>()[std::size_t(index)]); });

    m_frameRate = new QComboBox;
    for (const int cap : VideoPanel::frameRates)
        m_frameRate->addItem(m_panel->frameRateText(cap), cap);
    connect(m_frameRate, &QComboBox::activated, m_panel,
            [this](int index) { m_panel->setFrameRateCap(m_frameRate->itemData(index).toInt()); });

    m_posterTime = new QLineEdit(m_panel->posterTime());
    m_posterTime->setFixedWidth(96);
    m_posterTime->installEventFilter(this);
    m_posterButton = new QPushButton(text(Phrase::videoPosterButton));
    m_posterButton->setAutoDefault(false);
    m_posterBusy = new QProgressBar;
    m_posterBusy->setRange(0, 0);
    m_posterBusy->setTextVisible(false);
    m_posterBusy->setFixedSize(40, 8);
    m_posterStatus = caption(QString());
    m_posterStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(m_posterTime, &QLineEdit::textEdited, m_panel, &VideoPanel::setPosterTime);
    connect(m_posterTime, &QLineEdit::returnPressed, m_panel, &VideoPanel::makePoster);
    connect(m_posterButton, &QPushButton::clicked, m_panel, &VideoPanel::makePoster);

    auto* card = new PanelCard;
    m_codecRow = new PanelRow(text(Phrase::labelCodec), stacked({m_codec, m_codecDetail}));
    card->addRow(m_codecRow);
    card->addRow(new PanelRow(text(Phrase::labelFrameRate), sideBySide({m_frameRate})));
    card->addRow(
        new PanelRow(text(Phrase::labelPoster),
                     stacked({sideBySide({m_posterTime, m_posterButton, m_posterBusy}), m_posterStatus})));
    // The hairline under the codec goes with it while WebM hides the codec.
    m_codecSeparator = card->findChildren<PanelSeparator*>().front();
    return card;
}

void VideoPanelView::replaceSizeControls() {
    delete m_size;
    const VideoInfo& info = m_panel->info();
    m_size = new SizeControlsView(m_panel->settings().sizing, m_panel->isLinked());
    m_size->setSource(Size{double(info.width), double(info.height)});
    m_sizeHolder->insertWidget(0, m_size);
    connect(m_size, &SizeControlsView::sizingChanged, m_panel, &VideoPanel::setSizing);
    connect(m_size, &SizeControlsView::linkedChanged, m_panel, &VideoPanel::setLinked);
}

bool VideoPanelView::eventFilter(QObject* watched, QEvent* event) {
    // Claiming the key before the footer's window-wide Return shortcut sees it lets the field's
    // returnPressed run instead.
    if (watched == m_posterTime && event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void VideoPanelView::refresh() {
    const VideoSettings& settings = m_panel->settings();
    m_header->setTitle(m_panel->title());
    m_header->setSubtitle(m_panel->subtitle());

    const bool hasFFmpeg = m_panel->hasFFmpeg();
    if (m_hdrBadge)
        m_hdrBadge->setToolTip(m_panel->hdrHelp());
    m_container->setCurrentIndex(int(settings.container));
    m_container->setEnabled(hasFFmpeg);
    m_containerCaption->setVisible(!hasFFmpeg);

    refreshPresetPicker();
    const FrameSize output = m_panel->outputSize();
    m_outputSize->setText(QStringLiteral("%1×%2").arg(output.width).arg(output.height));

    // The slider keeps the exact position it is dragged to while that rounds to the stored value.
    if (m_quality->value() / VideoPanel::bitrateStep * VideoPanel::bitrateStep != settings.videoBitrate) {
        const QSignalBlocker blocker(m_quality);
        m_quality->setValue(int(settings.videoBitrate));
    }
    m_qualityValue->setText(VideoPanel::bitrateText(settings.videoBitrate));

    {
        const QSignalBlocker blocker(m_includeAudio);
        m_includeAudio->setChecked(settings.includeAudio);
    }
    m_includeAudio->setEnabled(m_panel->isAudioEnabled());
    showChoice(m_audioBitrate, qint64(settings.audioBitrate));
    m_audioBitrate->setEnabled(m_panel->isAudioBitrateEnabled());
    m_noAudio->setVisible(!m_panel->isAudioEnabled());

    const bool showsAdvanced = m_panel->showsAdvanced();
    m_advancedButton->setArrowType(showsAdvanced ? Qt::DownArrow : Qt::RightArrow);
    m_advanced->setVisible(showsAdvanced);
    const bool showsCodec = settings.container == VideoContainer::mp4;
    m_codecRow->setVisible(showsCodec);
    m_codecSeparator->setVisible(showsCodec);
    m_codec->setCurrentIndex(int(settings.codec));
    m_codecDetail->setText(text(detailPhrase(settings.codec)));
    showChoice(m_frameRate, int(settings.frameRateCap.value_or(0)));

    if (m_posterTime->text() != m_panel->posterTime())
        m_posterTime->setText(m_panel->posterTime());
    m_posterBusy->setVisible(m_panel->isMakingPoster());
    const auto& status = m_panel->posterStatus();
    m_posterStatus->setVisible(status.has_value());
    if (status) {
        m_posterStatus->setText(QString::fromStdString(status->text));
        m_posterStatus->setStyleSheet(status->isError ? QStringLiteral("color: rgb(192, 57, 43);")
                                                      : QString());
    }

    refreshNotice();
    m_footer->setDestination(m_panel->destinationLine());
    m_footer->setConfirmDisabled(m_panel->blocked().has_value());
    m_estimate->setValues({.bytes = m_panel->estimatedBytes(),
                           .original = m_panel->originalBytes(),
                           .heavierText = text(Phrase::videoHeavier),
                           .placeholder = QString(),
                           .isBusy = false,
                           .showsSaving = true});
}

void VideoPanelView::refreshPresetPicker() {
    const bool listsCustom = !m_panel->matchedPreset();
    const std::vector<VideoPreset> presets = VideoPreset::all();
    const int entries = int(presets.size()) + (listsCustom ? 2 : 0); // the custom entry follows a separator
    if (m_preset->count() != entries) {
        const QSignalBlocker blocker(m_preset);
        m_preset->clear();
        for (const VideoPreset& preset : presets) {
            m_preset->addItem(QString::fromStdString(preset.name), QString::fromStdString(preset.id));
            m_preset->setItemData(m_preset->count() - 1, QString::fromStdString(preset.detail),
                                  Qt::ToolTipRole);
        }
        if (listsCustom) {
            m_preset->insertSeparator(m_preset->count());
            m_preset->addItem(text(Phrase::videoCustom), fromView(VideoPanel::customID));
        }
    }
    showChoice(m_preset, QString::fromStdString(m_panel->presetID()));
}

void VideoPanelView::refreshNotice() {
    const QString notice = m_panel->noticeText().value_or(QString());
    if (notice == m_noticeText)
        return;
    m_noticeText = notice;
    delete m_notice;
    m_notice = nullptr;
    if (notice.isEmpty())
        return;
    m_notice = new FFmpegNotice(notice, true, FFmpegNotice::installPage());
    m_noticeHolder->addWidget(m_notice);
}

} // namespace quillmorph
