#pragma once

#include <QFuture>
#include <QImage>
#include <QWidget>
#include <filesystem>
#include <optional>

class QHBoxLayout;
class QLabel;

namespace quillmorph {

// The top of a panel: a thumbnail of the first file, the title and subtitle, and an optional
// accessory at the trailing end. The file's icon stands in until (or unless) a thumbnail loads;
// changing the file abandons a thumbnail still loading.
class PanelHeader : public QWidget {
    Q_OBJECT

  public:
    // Thumbnail side in device-independent pixels.
    static constexpr int thumbnailExtent = 88;

    PanelHeader(const std::filesystem::path& file, const QString& title, const QString& subtitle,
                QWidget* parent = nullptr);

    void setFile(const std::filesystem::path& file);
    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }
    void setTitle(const QString& title);
    void setSubtitle(const QString& subtitle);
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString subtitle() const;
    // The header takes `accessory`.
    void setAccessory(QWidget* accessory);

    // The loaded thumbnail; none while loading and when the file has none.
    [[nodiscard]] const std::optional<QImage>& thumbnail() const { return m_thumbnail; }

  signals:
    // A thumbnail load for the current file ended, with or without a thumbnail.
    void thumbnailLoaded();

  private:
    void loadThumbnail();
    void showIcon();

    std::filesystem::path m_file;
    std::optional<QImage> m_thumbnail;
    QFuture<QImage> m_loading;
    unsigned m_generation = 0;
    QLabel* m_picture;
    QLabel* m_title;
    QLabel* m_subtitle;
    QHBoxLayout* m_layout;
};

} // namespace quillmorph
