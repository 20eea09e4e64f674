#pragma once

#include <QWidget>
#include <filesystem>
#include <vector>

class QCheckBox;
class QLabel;
class QSlider;

namespace quillmorph {

class PDFPanel;
class PanelFooter;
class PanelHeader;
class SegmentedChoice;
class SliderValue;

// The PDF panel: header, a card with the method and its detail, image quality, resolution, greyscale and document info, and
// the footer with the destination, Cancel and Compress. It owns its PDFPanel.
class PDFPanelView : public QWidget {
    Q_OBJECT

  public:
    explicit PDFPanelView(std::vector<std::filesystem::path> files, QWidget* parent = nullptr);

    [[nodiscard]] PDFPanel* panel() const { return m_panel; }
    [[nodiscard]] PanelHeader* header() const { return m_header; }
    [[nodiscard]] PanelFooter* footer() const { return m_footer; }
    [[nodiscard]] SegmentedChoice* methodChoice() const { return m_method; }
    [[nodiscard]] QLabel* methodDetail() const { return m_methodDetail; }
    [[nodiscard]] QSlider* qualitySlider() const { return m_quality; }
    [[nodiscard]] QLabel* qualityValue() const;
    [[nodiscard]] QSlider* resolutionSlider() const { return m_resolution; }
    [[nodiscard]] QLabel* resolutionName() const { return m_resolutionName; }
    [[nodiscard]] QLabel* resolutionDensity() const;
    [[nodiscard]] QCheckBox* grayscaleBox() const { return m_grayscale; }
    [[nodiscard]] QCheckBox* optimizeBox() const { return m_optimize; }

  private:
    void refresh();

    PDFPanel* m_panel;
    PanelHeader* m_header;
    SegmentedChoice* m_method;
    QLabel* m_methodDetail;
    QSlider* m_quality;
    SliderValue* m_qualityValue;
    QSlider* m_resolution;
    QLabel* m_resolutionName;
    SliderValue* m_resolutionDensity;
    QCheckBox* m_grayscale;
    QCheckBox* m_optimize;
    PanelFooter* m_footer;
};

} // namespace quillmorph
