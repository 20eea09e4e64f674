#include "FFmpegNotice.h"

#include "updates/SiteLinks.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace quillmorph {

namespace {

const QColor tint(230, 126, 34);

} // namespace

QUrl FFmpegNotice::installPage() {
    const std::optional<std::string> page = SiteLinks::page("install");
    return page ? QUrl(QString::fromStdString(*page)) : QUrl();
}

FFmpegNotice::FFmpegNotice(const QString& text, bool showsInstallHelp, const QUrl& installPage,
                           QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(8);
    auto* sign = new QLabel(this);
    const int extent = style()->pixelMetric(QStyle::PM_SmallIconSize);
    sign->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(extent, extent));
    layout->addWidget(sign, 0, Qt::AlignTop);
    auto* message = new QLabel(text, this);
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(message, 1);
    if (showsInstallHelp && installPage.isValid()) {
        // No catalogue phrase names this button: it is a help icon.
        auto* install = new QPushButton(style()->standardIcon(QStyle::SP_DialogHelpButton), QString(), this);
        install->setObjectName(QStringLiteral("install"));
        connect(install, &QPushButton::clicked, this,
                [installPage] { QDesktopServices::openUrl(installPage); });
        layout->addWidget(install, 0, Qt::AlignVCenter);
    }
}

void FFmpegNotice::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor background = tint;
    background.setAlphaF(0.1f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(rect(), 8, 8);
}

} // namespace quillmorph
