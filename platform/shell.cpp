#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace velkoria {

bool DesktopShell::openDocument(const QString& path) {
    // A missing document is not handed to the desktop: some desktops answer it
    // with an error window of their own.
    if (!QFileInfo::exists(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace velkoria
