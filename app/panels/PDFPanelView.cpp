#include "PDFPanelView.h"

#include "PDFPanel.h"
#include "PanelChrome.h"
#include "PanelFooter.h"
#include "PanelHeader.h"
#include "SegmentedChoice.h"
#include "app/Texts.h"
#include "common/Localization.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace quillmorph {

namespace {

// The quality slider works in thousandths, 0.05 … 1.0.
constexpr int sliderScale = 1000;

// The slider, and under it the resolution's name beside its density.
QWidget* resolutionColumn(QSlider* slider, QLabel* name, QLabel* density) {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(slider);
    auto* caption = new QHBoxLayout;
    caption->addWidget(name, 1);
    caption->addWidget(density);
    layout->addLayout(caption);
    return column;
}

} // namespace

PDFPanelView::PDFPanelView(std::vector<std::filesystem::path> files, QWidget* parent)
    : QWidget(parent), m_panel(new PDFPanel(std::move(files), this)) {
    const PDFSettings& settings = m_panel->settings();
    m_header = new PanelHeader(m_panel->files().front(), m_panel->title(), m_panel->subtitle(), this);

    QStringList methods;
    for (const PDFSettings::Method method : allCases<PDFSettings::Method>())
        methods.append(PDFPanel::methodName(method));
    m_method = new SegmentedChoice(methods, int(settings.method));
    m_methodDetail = new QLabel;
    m_methodDetail->setWordWrap(true);
    m_methodDetail->setForegroundRole(QPalette::PlaceholderText);

    m_quality = new QSlider(Qt::Horizontal);
    m_quality->setRange(int(std::lround(PDFPanel::minimumQuality * sliderScale)),
                        int(std::lround(PDFPanel::maximumQuality * sliderScale)));
    m_quality->setValue(int(std::lround(settings.imageQuality * sliderScale)));
    m_qualityValue = new SliderValue(PDFPanel::qualityText(settings.imageQuality), 44);

    m_resolution = new QSlider(Qt::Horizontal);
    m_resolution->setRange(0, PDFPanel::lastResolutionStep);
    m_resolution->setPageStep(1);
    m_resolution->setTickPosition(QSlider::TicksBelow);
    m_resolution->setValue(int(std::lround(m_panel->resolutionStep())));
    m_resolutionName = new QLabel(PDFPanel::resolutionName(settings.resolution));
    m_resolutionDensity = new SliderValue(PDFPanel::densityText(settings.resolution), 64);

    m_grayscale = new QCheckBox(text(Phrase::pdfGrayscale));
    m_grayscale->setChecked(settings.grayscale);
    m_optimize = new QCheckBox(text(Phrase::pdfOptimize));
    m_optimize->setChecked(settings.optimize);

    auto* card = new PanelCard(this);
    card->addRow(new PanelRow(text(Phrase::pdfMethod), stacked({m_method, m_methodDetail})));
    card->addRow(new PanelRow(text(Phrase::labelImageQuality), sliderRow(m_quality, m_qualityValue)));
    card->addRow(new PanelRow(text(Phrase::pdfResolution),
                              resolutionColumn(m_resolution, m_resolutionName, m_resolutionDensity)));
    card->addRow(new PanelRow({}, m_grayscale));
    card->addRow(new PanelRow({}, m_optimize));

    m_footer = new PanelFooter(text(Phrase::commonCompress), nullptr, this);
    m_footer->setDestination(m_panel->destinationLabel());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);
    layout->addWidget(m_header);
    layout->addWidget(card);
    layout->addWidget(m_footer);
    setFixedWidth(460);

    connect(m_method, &SegmentedChoice::chosen, m_panel,
            [this](int index) { m_panel->setMethod(allCases<PDFSettings::Method>()[std::size_t(index)]); });
    connect(m_quality, &QSlider::valueChanged, m_panel,
            [this](int value) { m_panel->setQuality(double(value) / sliderScale); });
    connect(m_resolution, &QSlider::valueChanged, m_panel,
            [this](int step) { m_panel->setResolutionStep(step); });
    connect(m_grayscale, &QCheckBox::toggled, m_panel, &PDFPanel::setGrayscale);
    connect(m_optimize, &QCheckBox::toggled, m_panel, &PDFPanel::setOptimize);
    connect(m_footer, &PanelFooter::cancelled, m_panel, &PDFPanel::cancel);
    connect(m_footer, &PanelFooter::confirmed, m_panel, &PDFPanel::confirm);
    connect(m_panel, &PDFPanel::changed, this, &PDFPanelView::refresh);
    refresh();
}

QLabel* PDFPanelView::qualityValue() const {
    return m_qualityValue;
}

QLabel* PDFPanelView::resolutionDensity() const {
    return m_resolutionDensity;
}

void PDFPanelView::refresh() {
    const PDFSettings& settings = m_panel->settings();
    m_method->setCurrentIndex(int(settings.method));
    m_methodDetail->setText(m_panel->methodDetail());
    m_qualityValue->setText(PDFPanel::qualityText(settings.imageQuality));
    m_resolutionName->setText(PDFPanel::resolutionName(settings.resolution));
    m_resolutionDensity->setText(PDFPanel::densityText(settings.resolution));
    m_grayscale->setChecked(settings.grayscale);
    m_optimize->setChecked(settings.optimize);
}

} // namespace quillmorph
