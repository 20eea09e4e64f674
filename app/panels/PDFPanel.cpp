#include "PDFPanel.h"

#include "app/Texts.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/output/FileNaming.h"
#include "engines/pdf/RememberedMethod.h"

#include <algorithm>
#include <cmath>

namespace quillmorph {

PDFPanel::PDFPanel(std::vector<std::filesystem::path> files, QObject* parent)
    : QObject(parent), m_files(std::move(files)), m_settings{.method = RememberedMethod::load()} {
    for (const std::filesystem::path& file : m_files)
        m_originalBytes += FileNaming::byteCount(file);
}

QString PDFPanel::title() const {
    if (m_files.size() == 1)
        return fromPath(m_files.front().filename());
    return text(Phrase::pdfCount, {{"n", std::to_string(m_files.size())}});
}

QString PDFPanel::subtitle() const {
    QString subtitle = QString::fromStdString(formatByteCount(m_originalBytes));
    if (m_files.size() >= 2)
        subtitle += QStringLiteral(" · ") + text(Phrase::pdfFirstOfMany);
    return subtitle;
}

QString PDFPanel::destinationLabel() const {
    if (m_files.size() == 1)
        return fromPath(m_files.front().stem()) + QStringLiteral("-compressed.pdf");
    return text(Phrase::pdfDestinationEach);
}

QString PDFPanel::qualityText(double quality) {
    // Nearest, halves up; the nudge keeps a binary fraction just below a half (0.145 × 100 is
    // 14.4999…) from rounding down.
    return QString::number(qint64(std::floor(quality * 100 + 0.5 + 1e-9))) + QLatin1Char('%');
}

QString PDFPanel::resolutionName(PDFSettings::Resolution resolution) {
    switch (resolution) {
    case PDFSettings::Resolution::web:
        return text(Phrase::pdfResolutionLow);
    case PDFSettings::Resolution::docs:
        return text(Phrase::pdfResolutionMedium);
    case PDFSettings::Resolution::print:
        return text(Phrase::pdfResolutionHigh);
    }
    return {};
}

QString PDFPanel::densityText(PDFSettings::Resolution resolution) {
    return QString::number(dpi(resolution)) + QStringLiteral(" dpi");
}

QString PDFPanel::methodName(PDFSettings::Method method) {
    switch (method) {
    case PDFSettings::Method::pagesAsPictures:
        return text(Phrase::pdfMethodPagesAsPictures);
    case PDFSettings::Method::keepText:
        return text(Phrase::pdfMethodKeepText);
    }
    return {};
}

QString PDFPanel::methodDetail() const {
    switch (m_settings.method) {
    case PDFSettings::Method::pagesAsPictures:
        return text(Phrase::pdfMethodPagesAsPicturesDetail);
    case PDFSettings::Method::keepText:
        return text(Phrase::pdfMethodKeepTextDetail);
    }
    return {};
}

void PDFPanel::setQuality(double quality) {
    if (std::isnan(quality))
        return;
    PDFSettings settings = m_settings;
    settings.imageQuality = std::clamp(quality, minimumQuality, maximumQuality);
    setSettings(settings);
}

void PDFPanel::setResolutionStep(double step) {
    PDFSettings settings = m_settings;
    // Not finite rounds to neither end, so it means docs like any other middle position.
    const double position = std::round(step);
    if (position == 0)
        settings.resolution = PDFSettings::Resolution::web;
    else if (position == lastResolutionStep)
        settings.resolution = PDFSettings::Resolution::print;
    else
        settings.resolution = PDFSettings::Resolution::docs;
    const bool moved = step != m_resolutionStep;
    m_resolutionStep = step;
    if (settings != m_settings)
        setSettings(settings);
    else if (moved)
        emit changed();
}

void PDFPanel::setGrayscale(bool grayscale) {
    PDFSettings settings = m_settings;
    settings.grayscale = grayscale;
    setSettings(settings);
}

void PDFPanel::setOptimize(bool optimize) {
    PDFSettings settings = m_settings;
    settings.optimize = optimize;
    setSettings(settings);
}

void PDFPanel::setMethod(PDFSettings::Method method) {
    RememberedMethod::store(method);
    PDFSettings settings = m_settings;
    settings.method = method;
    setSettings(settings);
}

void PDFPanel::setSettings(const PDFSettings& settings) {
    if (settings == m_settings)
        return;
    m_settings = settings;
    emit changed();
}

void PDFPanel::cancel() {
    emit cancelled();
}

void PDFPanel::confirm() {
    emit confirmed(m_settings);
}

} // namespace quillmorph
