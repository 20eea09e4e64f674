#include "ImagePanel.h"

#include "app/Background.h"
#include "app/Texts.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageEstimate.h"
#include "engines/output/FileNaming.h"

#include <cmath>

namespace quillmorph {

ImagePanel::ImagePanel(std::vector<std::filesystem::path> files, QObject* parent)
    : QObject(parent),
      m_files(std::move(files)), m_settings{.format = ImageSettings::defaultFormat(m_files.front()),
                                            .sizing = FrameSizing::untouched(),
                                            .quality = 0.75} {
    for (const std::filesystem::path& file : m_files)
        m_originalBytes += FileNaming::byteCount(file);
    m_firstFileBytes = FileNaming::byteCount(m_files.front());
    m_debounce.setSingleShot(true);
    m_debounce.setTimerType(Qt::PreciseTimer);
    m_debounce.setInterval(ImageEstimate::debounce);
    connect(&m_debounce, &QTimer::timeout, this, &ImagePanel::estimate);
}

ImagePanel::~ImagePanel() {
    stopEstimate();
}

QString ImagePanel::title() const {
    if (m_files.size() == 1)
        return fromPath(m_files.front().filename());
    return text(Phrase::imageCount, {{"n", std::to_string(m_files.size())}});
}

QString ImagePanel::subtitle() const {
    const QString bytes = QString::fromStdString(formatByteCount(m_originalBytes));
    if (m_sourceSize == Size{})
        return bytes;
    QString subtitle = QStringLiteral("%1×%2 · %3")
                           .arg(qint64(m_sourceSize.width))
                           .arg(qint64(m_sourceSize.height))
                           .arg(bytes);
    if (m_files.size() >= 2)
        subtitle += QStringLiteral(" · ") + text(Phrase::imageFirstOfMany);
    return subtitle;
}

QString ImagePanel::destinationLabel() const {
    const std::string extension{toString(m_settings.format)};
    if (m_files.size() == 1)
        return fromPath(m_files.front().stem()) + QStringLiteral("-converted.") +
               QString::fromStdString(extension);
    return text(Phrase::imageDestinationEach, {{"ext", extension}});
}

std::optional<std::int64_t> ImagePanel::estimatedBytes() const {
    return ImageEstimate::estimatedBytes(m_estimatedRatio, m_originalBytes);
}

bool ImagePanel::isFormatAvailable() const {
    return ImageEngine::supports(m_settings.format);
}

QString ImagePanel::qualityText(double quality) {
    // The integer part, with room for binary fractions: 0.29 × 100 is 28.999… and shows 29.
    return QString::number(qint64(std::floor(quality * 100 + 1e-9))) + QLatin1Char('%');
}

void ImagePanel::setFormat(ImageFormat format) {
    ImageSettings settings = m_settings;
    settings.format = format;
    setSettings(settings);
}

void ImagePanel::setSizing(const FrameSizing& sizing) {
    ImageSettings settings = m_settings;
    settings.sizing = sizing;
    setSettings(settings);
}

void ImagePanel::setQuality(double quality) {
    ImageSettings settings = m_settings;
    settings.quality = quality;
    setSettings(settings);
}

void ImagePanel::setLinked(bool isLinked) {
    if (isLinked == m_isLinked)
        return;
    m_isLinked = isLinked;
    emit changed();
}

void ImagePanel::setSettings(const ImageSettings& settings) {
    if (settings == m_settings)
        return;
    m_settings = settings;
    scheduleEstimate();
    emit changed();
}

void ImagePanel::start() {
    loadSample();
    scheduleEstimate();
}

void ImagePanel::cancel() {
    emit cancelled();
}

void ImagePanel::confirm() {
    emit confirmed(m_settings);
}

void ImagePanel::stopEstimate() {
    // Cancelling skips a task still queued; the stop reaches one already encoding.
    m_estimateTask.cancel();
    m_estimateStop.request_stop();
}

void ImagePanel::loadSample() {
    const std::filesystem::path first = m_files.front();
    m_isLoadingSample = true;
    runInBackground([first] {
        return ImageEngine::pixelSize(first);
    }).then(this, [this](std::optional<Size> size) {
        if (!size)
            return;
        m_sourceSize = *size;
        emit sourceSizeChanged(m_sourceSize);
        emit changed();
    });
    runInBackground([first]() -> std::optional<Bitmap> {
        auto sample = ImageEngine::loadNormalized(first);
        return sample ? std::optional<Bitmap>(*std::move(sample)) : std::nullopt;
    }).then(this, [this](std::optional<Bitmap> sample) {
        m_sample = std::move(sample);
        m_isLoadingSample = false;
        // Estimated like any settings change, so that a later change supersedes it.
        if (m_sample)
            scheduleEstimate();
        emit changed();
    });
}

void ImagePanel::scheduleEstimate() {
    ++m_estimateGeneration;
    stopEstimate();
    if (m_isEstimating) {
        m_isEstimating = false;
        emit changed();
    }
    m_debounce.start();
}

void ImagePanel::estimate() {
    if (!m_sample || m_firstFileBytes <= 0 || !isFormatAvailable())
        return;
    m_isEstimating = true;
    emit changed();
    const unsigned generation = m_estimateGeneration;
    m_estimateStop = std::stop_source();
    m_estimateTask = runInBackground([sample = *m_sample, settings = m_settings, stop = m_estimateStop.get_token()] {
        return ImageEstimate::sampleBytes(sample, settings, stop);
    });
    m_estimateTask.then(this, [this, generation](std::optional<std::int64_t> bytes) {
        // Settings changed meanwhile: this result describes settings no longer shown.
        if (generation != m_estimateGeneration)
            return;
        m_isEstimating = false;
        if (bytes)
            m_estimatedRatio = ImageEstimate::estimatedRatio(*bytes, m_firstFileBytes);
        emit changed();
    });
}

} // namespace quillmorph
