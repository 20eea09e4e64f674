#include "AudioPanelView.h"

#include "AudioPanel.h"
#include "EstimateLine.h"
#include "FFmpegNotice.h"
#include "PanelChrome.h"
#include "PanelFooter.h"
#include "PanelHeader.h"
#include "SegmentedChoice.h"
#include "app/Texts.h"
#include "common/Localization.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillmorph {

namespace {

QLabel* caption(QLabel* label) {
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

} // namespace

AudioPanelView::AudioPanelView(std::vector<std::filesystem::path> files, AudioOrigin origin, QWidget* parent)
    : QWidget(parent), m_panel(new AudioPanel(std::move(files), origin, this)) {
    m_header = new PanelHeader(m_panel->files().front(), m_panel->title(), m_panel->subtitle(), this);

    QStringList formats;
    for (const AudioFormat format : allCases<AudioFormat>())
        formats.append(QString::fromLatin1(toString(format)).toUpper());
    m_format = new SegmentedChoice(formats, int(m_panel->settings().format));
    m_formatDetail = caption(new QLabel);
    m_bitrate = new QComboBox;
    m_lossless = new QLabel;
    m_mono = new QCheckBox(text(Phrase::audioMono));
    m_stripTags = new QCheckBox(text(Phrase::audioStripTags));

    auto* card = new PanelCard(this);
    card->addRow(new PanelRow(text(Phrase::labelFormat), stacked({m_format, m_formatDetail})));
    card->addRow(new PanelRow(text(Phrase::labelQuality), stacked({m_bitrate, m_lossless})));
    card->addRow(new PanelRow(QString(), stacked({m_mono, m_stripTags})));

    m_estimate = new EstimateLine;
    // Several files get no estimate at all, not a placeholder that never resolves; without ffmpeg
    // the notice says why there is none.
    m_estimate->setVisible(m_panel->files().size() == 1 && m_panel->isAvailable());
    m_footer = new PanelFooter(m_panel->confirmTitle(), m_estimate, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);
    layout->addWidget(m_header);
    layout->addWidget(card);
    if (!m_panel->isAvailable()) {
        m_notice =
            new FFmpegNotice(text(Phrase::errorAudioNeedsFfmpeg), true, FFmpegNotice::installPage(), this);
        layout->addWidget(m_notice);
    }
    layout->addWidget(m_footer);
    setFixedWidth(460);

    connect(m_format, &SegmentedChoice::chosen, m_panel,
            [this](int index) { m_panel->setFormat(allCases<AudioFormat>()[std::size_t(index)]); });
    connect(m_bitrate, &QComboBox::activated, m_panel,
            [this](int index) { m_panel->setBitrate(m_bitrate->itemData(index).toInt()); });
    connect(m_mono, &QCheckBox::toggled, m_panel, &AudioPanel::setMono);
    connect(m_stripTags, &QCheckBox::toggled, m_panel, &AudioPanel::setStripTags);
    connect(m_footer, &PanelFooter::cancelled, m_panel, &AudioPanel::cancel);
    connect(m_footer, &PanelFooter::confirmed, m_panel, &AudioPanel::confirm);
    connect(m_panel, &AudioPanel::changed, this, &AudioPanelView::refresh);
    refresh();
}

void AudioPanelView::refresh() {
    const AudioSettings& settings = m_panel->settings();
    m_header->setTitle(m_panel->title());
    m_header->setSubtitle(m_panel->subtitle());
    m_format->setCurrentIndex(int(settings.format));
    m_formatDetail->setText(m_panel->formatDetail());
    const bool lossless = isLossless(settings.format);
    m_bitrate->setVisible(!lossless);
    m_lossless->setVisible(lossless);
    m_lossless->setText(m_panel->losslessText());
    refreshBitrates();
    {
        const QSignalBlocker monoBlocker(m_mono);
        const QSignalBlocker stripBlocker(m_stripTags);
        m_mono->setChecked(settings.mono);
        m_stripTags->setChecked(settings.stripTags);
    }
    m_footer->setDestination(m_panel->destinationLabel());
    m_footer->setConfirmDisabled(!m_panel->isAvailable());
    const QString placeholder =
        m_panel->probeError().value_or(m_panel->isProbing() ? text(Phrase::imageCalculating) : QString());
    m_estimate->setValues({.bytes = m_panel->estimatedBytes(),
                           .original = m_panel->originalBytes(),
                           .heavierText = text(Phrase::videoHeavier),
                           .placeholder = placeholder,
                           .isBusy = m_panel->isProbing(),
                           .showsSaving = true});
}

void AudioPanelView::refreshBitrates() {
    const QSignalBlocker blocker(m_bitrate);
    const std::span<const int> choices = m_panel->bitrateChoices();
    bool same = std::size_t(m_bitrate->count()) == choices.size();
    for (std::size_t index = 0; same && index < choices.size(); ++index)
        same = m_bitrate->itemData(int(index)).toInt() == choices[index];
    if (!same) {
        m_bitrate->clear();
        for (const int bitrate : choices)
            m_bitrate->addItem(AudioPanel::bitrateText(bitrate), bitrate);
    }
    m_bitrate->setCurrentIndex(m_bitrate->findData(m_panel->settings().bitrate));
}

} // namespace quillmorph
