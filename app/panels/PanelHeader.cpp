#include "PanelHeader.h"

#include "Thumbnail.h"
#include "app/Background.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace quillmorph {

PanelHeader::PanelHeader(const std::filesystem::path& file, const QString& title, const QString& subtitle,
                         QWidget* parent)
    : QWidget(parent), m_picture(new QLabel(this)), m_title(new QLabel(title, this)),
      m_subtitle(new QLabel(subtitle, this)), m_layout(new QHBoxLayout(this)) {
    m_picture->setFixedSize(thumbnailExtent, thumbnailExtent);
    m_picture->setAlignment(Qt::AlignCenter);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setTextFormat(Qt::PlainText);
    m_subtitle->setTextFormat(Qt::PlainText);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addStretch(1);
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    texts->addStretch(1);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(12);
    m_layout->addWidget(m_picture);
    m_layout->addLayout(texts, 1);
    setFile(file);
}

void PanelHeader::setFile(const std::filesystem::path& file) {
    m_file = file;
    loadThumbnail();
}

void PanelHeader::setTitle(const QString& title) {
    m_title->setText(title);
}

void PanelHeader::setSubtitle(const QString& subtitle) {
    m_subtitle->setText(subtitle);
}

QString PanelHeader::title() const {
    return m_title->text();
}

QString PanelHeader::subtitle() const {
    return m_subtitle->text();
}

void PanelHeader::setAccessory(QWidget* accessory) {
    m_layout->addWidget(accessory, 0, Qt::AlignTop);
}

void PanelHeader::showIcon() {
    const QIcon icon = QFileIconProvider().icon(QFileInfo(QString::fromStdString(m_file.string())));
    m_picture->setPixmap(icon.pixmap(thumbnailExtent * 3 / 4));
}

void PanelHeader::loadThumbnail() {
    m_loading.cancel();
    m_thumbnail.reset();
    showIcon();
    const unsigned generation = ++m_generation;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double scale = screen ? screen->devicePixelRatio() : 1.0;
    const int extent = int(thumbnailExtent * scale);
    m_loading = runInBackground([file = m_file, extent] { return Thumbnail::load(file, extent); });
    m_loading.then(this, [this, generation, scale](const QImage& image) {
        if (generation != m_generation)
            return;
        if (!image.isNull()) {
            m_thumbnail = image;
            QPixmap pixmap = QPixmap::fromImage(image);
            pixmap.setDevicePixelRatio(scale);
            m_picture->setPixmap(pixmap);
        }
        emit thumbnailLoaded();
    });
}

} // namespace quillmorph
