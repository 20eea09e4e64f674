#include "AppIcon.h"

#include "common/Bundle.h"

#include <QDir>
#include <QFileInfo>

namespace quillmorph::AppIcon {

QString name() {
    return QString::fromUtf8(Bundle::applicationIdentifier.data(),
                             qsizetype(Bundle::applicationIdentifier.size()));
}

QIcon icon() {
    const QDir hicolor(
        QString::fromStdString((Bundle::resourceDirectory().parent_path() / "icons" / "hicolor").string()));
    QIcon files;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString extent = QString::number(size);
        const QString file = hicolor.filePath(extent + u'x' + extent + QStringLiteral("/apps/") + name() +
                                              QStringLiteral(".png"));
        if (QFileInfo(file).isFile())
            files.addFile(file, QSize(size, size));
    }
    return QIcon::fromTheme(name(), files);
}

} // namespace quillmorph::AppIcon
