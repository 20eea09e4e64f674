#pragma once

#include <QUrl>
#include <QWidget>

namespace quillmorph {

// A warning shown when ffmpeg is missing: a warning sign, the message and, when asked for, a button
// that opens the install help page in the browser.
class FFmpegNotice : public QWidget {
    Q_OBJECT

  public:
    // The button appears when `showsInstallHelp` is true and `installPage` is valid (the video and
    // audio panels pass the site's "install" page).
    FFmpegNotice(const QString& text, bool showsInstallHelp, const QUrl& installPage,
                 QWidget* parent = nullptr);

    // The site's "install" page; invalid when no site is known.
    [[nodiscard]] static QUrl installPage();

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillmorph
