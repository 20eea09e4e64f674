#pragma once

#include "engines/pdf/PDFSettings.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace quillmorph {

// The PDF panel's state and logic, without widgets: the settings being edited and the texts derived
// from them. It shows no size estimate. Every panel starts from the default settings with the method
// last chosen. Main thread only.
class PDFPanel : public QObject {
    Q_OBJECT

  public:
    static constexpr double minimumQuality = 0.05;
    static constexpr double maximumQuality = 1.0;
    // The resolution slider's last position; positions follow allCases<Resolution>().
    static constexpr int lastResolutionStep = 2;

    // `files` is never empty.
    explicit PDFPanel(std::vector<std::filesystem::path> files, QObject* parent = nullptr);

    [[nodiscard]] const std::vector<std::filesystem::path>& files() const { return m_files; }
    [[nodiscard]] const PDFSettings& settings() const { return m_settings; }
    // Where the resolution slider stands, 0 … 2, as it was last moved.
    [[nodiscard]] double resolutionStep() const { return m_resolutionStep; }
    // The sizes of every file added up; unreadable sizes count 0.
    [[nodiscard]] std::int64_t originalBytes() const { return m_originalBytes; }

    // The file's name for one file, else "pdf.count".
    [[nodiscard]] QString title() const;
    // The byte total, plus "pdf.firstOfMany" for several files.
    [[nodiscard]] QString subtitle() const;
    // "name-compressed.pdf" for one file, else "pdf.destinationEach".
    [[nodiscard]] QString destinationLabel() const;
    // The quality slider's value text: 0.7 shows "70%".
    [[nodiscard]] static QString qualityText(double quality);
    // "pdf.resolution.low", ".medium" or ".high".
    [[nodiscard]] static QString resolutionName(PDFSettings::Resolution resolution);
    // "96 dpi", "150 dpi", "300 dpi".
    [[nodiscard]] static QString densityText(PDFSettings::Resolution resolution);
    // "pdf.method.pagesAsPictures" or "pdf.method.keepText".
    [[nodiscard]] static QString methodName(PDFSettings::Method method);
    // The chosen method's one-line detail phrase.
    [[nodiscard]] QString methodDetail() const;

    // Kept within minimumQuality … maximumQuality.
    void setQuality(double quality);
    // Rounded to the nearest position: 0 is web, 2 print, anything else docs.
    void setResolutionStep(double step);
    void setGrayscale(bool grayscale);
    void setOptimize(bool optimize);
    // Also remembered as the method of the next panel.
    void setMethod(PDFSettings::Method method);

    void cancel();
    void confirm();

  signals:
    // The settings or the slider position changed.
    void changed();
    void cancelled();
    void confirmed(const PDFSettings& settings);

  private:
    void setSettings(const PDFSettings& settings);

    std::vector<std::filesystem::path> m_files;
    std::int64_t m_originalBytes = 0;
    PDFSettings m_settings;
    double m_resolutionStep = 1;
};

} // namespace quillmorph
