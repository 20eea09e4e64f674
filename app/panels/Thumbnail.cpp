#include "Thumbnail.h"

#include "common/QuillmorphRequest.h"
#include "engines/image/ImageEngine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace quillmorph::Thumbnail {
namespace {

QString cacheHome() {
    const QString configured = qEnvironmentVariable("XDG_CACHE_HOME");
    return configured.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : configured;
}

// Thumbnails record the source's modification time (seconds) as Thumb::MTime; one that disagrees
// shows an older version of the file. A thumbnail without it is taken as it is.
bool isCurrent(const QImage& thumbnail, const std::filesystem::path& file) {
    const QString recorded = thumbnail.text(QStringLiteral("Thumb::MTime"));
    if (recorded.isEmpty())
        return true;
    const QFileInfo info(QString::fromStdString(file.string()));
    return recorded.toLongLong() == info.lastModified().toSecsSinceEpoch();
}

QImage cached(const std::filesystem::path& file, int extent) {
    for (const std::filesystem::path& candidate : cacheCandidates(file)) {
        QImage thumbnail(QString::fromStdString(candidate.string()));
        if (!thumbnail.isNull() && isCurrent(thumbnail, file))
            return thumbnail.scaled(extent, extent, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return {};
}

QImage decoded(const std::filesystem::path& file, int extent) {
    const FrameSizing box = FrameSizing::fit(extent, extent);
    auto small = ImageEngine::loadNormalized(file, box).and_then(
        [&](const Bitmap& image) { return ImageEngine::resize(image, box); });
    if (!small)
        return {};
    const QImage view(small->pixels().data(), small->width(), small->height(), small->width() * 4,
                      small->hasAlpha() ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBX8888);
    return view.copy(); // the bitmap's pixels go away with it
}

} // namespace

std::vector<std::filesystem::path> cacheCandidates(const std::filesystem::path& file) {
    const QByteArray uri = QByteArray::fromStdString(fileURL(file.string()));
    const QString name = QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
                         QStringLiteral(".png");
    const QString thumbnails = cacheHome() + QStringLiteral("/thumbnails/");
    return {(thumbnails + QStringLiteral("large/") + name).toStdString(),
            (thumbnails + QStringLiteral("normal/") + name).toStdString()};
}

QImage load(const std::filesystem::path& file, int extent) {
    QImage thumbnail = cached(file, extent);
    return thumbnail.isNull() ? decoded(file, extent) : thumbnail;
}

} // namespace quillmorph::Thumbnail
