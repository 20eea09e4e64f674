#pragma once

#include <QWidget>
#include <filesystem>
#include <vector>

class QLabel;
class QSlider;

namespace quillmorph {

class EstimateLine;
class ImagePanel;
class PanelFooter;
class PanelHeader;
class SegmentedChoice;
class SizeControlsView;
class SliderValue;

// The image panel: header, a card with format, dimensions and quality, and the footer with the
// destination, the live estimate, Cancel and Compress. It owns its ImagePanel.
class ImagePanelView : public QWidget {
    Q_OBJECT

  public:
    explicit ImagePanelView(std::vector<std::filesystem::path> files, QWidget* parent = nullptr);

    [[nodiscard]] ImagePanel* panel() const { return m_panel; }
    [[nodiscard]] PanelHeader* header() const { return m_header; }
    [[nodiscard]] PanelFooter* footer() const { return m_footer; }
    [[nodiscard]] EstimateLine* estimateLine() const { return m_estimate; }
    [[nodiscard]] SegmentedChoice* formatChoice() const { return m_format; }
    [[nodiscard]] SizeControlsView* sizeControls() const { return m_size; }
    [[nodiscard]] QSlider* qualitySlider() const { return m_quality; }
    [[nodiscard]] QLabel* unavailableCaption() const { return m_unavailable; }

  private:
    void refresh();

    ImagePanel* m_panel;
    PanelHeader* m_header;
    SegmentedChoice* m_format;
    QLabel* m_unavailable;
    SizeControlsView* m_size;
    QSlider* m_quality;
    SliderValue* m_qualityValue;
    EstimateLine* m_estimate;
    PanelFooter* m_footer;
};

} // namespace quillmorph
