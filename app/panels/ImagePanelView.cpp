#include "ImagePanelView.h"

#include "EstimateLine.h"
#include "ImagePanel.h"
#include "PanelChrome.h"
#include "PanelFooter.h"
#include "PanelHeader.h"
#include "SegmentedChoice.h"
#include "SizeControlsView.h"
#include "app/Texts.h"
#include "common/Localization.h"

#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace quillmorph {

namespace {

// The slider works in thousandths of quality, 0.05 … 1.0.
constexpr int sliderScale = 1000;

} // namespace

ImagePanelView::ImagePanelView(std::vector<std::filesystem::path> files, QWidget* parent)
    : QWidget(parent), m_panel(new ImagePanel(std::move(files), this)) {
    const std::filesystem::path first = m_panel->files().front();
    m_header = new PanelHeader(first, m_panel->title(), m_panel->subtitle(), this);

    QStringList formats;
    for (const ImageFormat format : allCases<ImageFormat>())
        formats.append(QString::fromUtf8(label(format).data(), qsizetype(label(format).size())));
    m_format = new SegmentedChoice(formats, int(m_panel->settings().format));
    m_unavailable = new QLabel(text(Phrase::commonUnavailable));
    m_unavailable->setStyleSheet(QStringLiteral("color: rgb(230, 126, 34);"));
    QFont caption = m_unavailable->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_unavailable->setFont(caption);

    m_size = new SizeControlsView(m_panel->settings().sizing, m_panel->isLinked());

    m_quality = new QSlider(Qt::Horizontal);
    m_quality->setRange(int(0.05 * sliderScale), sliderScale);
    m_quality->setValue(int(std::lround(m_panel->settings().quality * sliderScale)));
    m_qualityValue = new SliderValue(ImagePanel::qualityText(m_panel->settings().quality), 44);

    auto* card = new PanelCard(this);
    card->addRow(new PanelRow(text(Phrase::labelFormat), stacked({m_format, m_unavailable})));
    card->addRow(new PanelRow(text(Phrase::labelDimensions), m_size));
    card->addRow(new PanelRow(text(Phrase::labelQuality), sliderRow(m_quality, m_qualityValue)));

    m_estimate = new EstimateLine;
    m_footer = new PanelFooter(text(Phrase::commonCompress), m_estimate, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);
    layout->addWidget(m_header);
    layout->addWidget(card);
    layout->addWidget(m_footer);
    setFixedWidth(460);

    connect(m_format, &SegmentedChoice::chosen, m_panel,
            [this](int index) { m_panel->setFormat(allCases<ImageFormat>()[std::size_t(index)]); });
    connect(m_size, &SizeControlsView::sizingChanged, m_panel, &ImagePanel::setSizing);
    connect(m_size, &SizeControlsView::linkedChanged, m_panel, &ImagePanel::setLinked);
    connect(m_panel, &ImagePanel::sourceSizeChanged, m_size, &SizeControlsView::setSource);
    connect(m_quality, &QSlider::valueChanged, m_panel,
            [this](int value) { m_panel->setQuality(double(value) / sliderScale); });
    connect(m_footer, &PanelFooter::cancelled, m_panel, &ImagePanel::cancel);
    connect(m_footer, &PanelFooter::confirmed, m_panel, &ImagePanel::confirm);
    connect(m_panel, &ImagePanel::changed, this, &ImagePanelView::refresh);
    refresh();
}

void ImagePanelView::refresh() {
    m_header->setTitle(m_panel->title());
    m_header->setSubtitle(m_panel->subtitle());
    const bool available = m_panel->isFormatAvailable();
    m_unavailable->setVisible(!available);
    m_qualityValue->setText(ImagePanel::qualityText(m_panel->settings().quality));
    m_footer->setDestination(m_panel->destinationLabel());
    m_footer->setConfirmDisabled(!available);
    m_estimate->setValues({.bytes = m_panel->estimatedBytes(),
                           .original = m_panel->originalBytes(),
                           .heavierText = text(Phrase::imageNoSaving),
                           .placeholder = text(Phrase::imageCalculating),
                           .isBusy = m_panel->isEstimating(),
                           .showsSaving = true});
}

} // namespace quillmorph
