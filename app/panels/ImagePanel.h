#pragma once

#include "engines/image/Bitmap.h"
#include "engines/image/ImageSettings.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <vector>

namespace quillmorph {

// The image panel's state and logic, without widgets: the settings being edited, the texts derived
// from them and the live size estimate. The first file is decoded once as a sample in the
// background; every settings change restarts the estimate after a 220 ms pause, and a newer
// estimate drops a queued one and stops a running one. Main thread only.
class ImagePanel : public QObject {
    Q_OBJECT

  public:
    // `files` is never empty.
    explicit ImagePanel(std::vector<std::filesystem::path> files, QObject* parent = nullptr);
    // Stops a running estimate: the panel's result no longer matters to anyone.
    ~ImagePanel() override;

    [[nodiscard]] const std::vector<std::filesystem::path>& files() const { return m_files; }
    [[nodiscard]] const ImageSettings& settings() const { return m_settings; }
    // The upright pixel size of the first file; (0, 0) until known.
    [[nodiscard]] Size sourceSize() const { return m_sourceSize; }
    [[nodiscard]] bool isLinked() const { return m_isLinked; }
    [[nodiscard]] bool hasSample() const { return m_sample.has_value(); }
    // From start() until decoding the first file ended, with or without a sample.
    [[nodiscard]] bool isLoadingSample() const { return m_isLoadingSample; }
    [[nodiscard]] std::optional<double> estimatedRatio() const { return m_estimatedRatio; }
    [[nodiscard]] bool isEstimating() const { return m_isEstimating; }

    // The file's name for one file, else "image.count".
    [[nodiscard]] QString title() const;
    // The byte total; with the first file's size known "W×H · bytes", plus "image.firstOfMany" for
    // several files.
    [[nodiscard]] QString subtitle() const;
    // "name-converted.ext" for one file, else "image.destinationEach".
    [[nodiscard]] QString destinationLabel() const;
    // The sizes of every file added up; unreadable sizes count 0.
    [[nodiscard]] std::int64_t originalBytes() const { return m_originalBytes; }
    [[nodiscard]] std::optional<std::int64_t> estimatedBytes() const;
    // Whether this system can write the chosen format; otherwise confirming is not possible.
    [[nodiscard]] bool isFormatAvailable() const;
    // The quality slider's value text, "75%".
    [[nodiscard]] static QString qualityText(double quality);

    void setFormat(ImageFormat format);
    void setSizing(const FrameSizing& sizing);
    void setQuality(double quality);
    void setLinked(bool isLinked);

    // Loads the sample and starts the first estimate; called once the panel is shown.
    void start();
    void cancel();
    void confirm();

  signals:
    // Any state above changed.
    void changed();
    void sourceSizeChanged(Size size);
    void cancelled();
    void confirmed(const ImageSettings& settings);

  private:
    void setSettings(const ImageSettings& settings);
    void loadSample();
    // Waits out the pause, then estimates; a later call supersedes it.
    void scheduleEstimate();
    void estimate();
    // Drops the estimate queued or running, if any.
    void stopEstimate();

    std::vector<std::filesystem::path> m_files;
    std::int64_t m_originalBytes = 0;
    std::int64_t m_firstFileBytes = 0;
    ImageSettings m_settings;
    Size m_sourceSize;
    bool m_isLinked = true;
    std::optional<Bitmap> m_sample;
    bool m_isLoadingSample = false;
    std::optional<double> m_estimatedRatio;
    bool m_isEstimating = false;
    // Identifies the current estimate; a result from an earlier one is dropped.
    unsigned m_estimateGeneration = 0;
    QFuture<std::optional<std::int64_t>> m_estimateTask;
    std::stop_source m_estimateStop;
    QTimer m_debounce;
};

} // namespace quillmorph
