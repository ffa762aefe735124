#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace velkoria {

namespace {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// On a freedesktop desktop the launcher (xdg-open) is started and forgotten:
// it reports nothing back, and with no application for the type it falls back
// to whatever web browser it finds, if any. Asking xdg-mime first tells "no
// application for this type" apart. True when the desktop names an
// application, or when it cannot be asked (the launcher then decides).
bool desktopHasApplicationFor(const QString& path) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return true;
    QProcess query;
    query.start(xdgMime,
                {QStringLiteral("query"), QStringLiteral("default"), QMimeDatabase().mimeTypeForFile(path).name()});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0 ||
           !query.readAllStandardOutput().trimmed().isEmpty();
}
#else
// The Windows shell answers for itself: a type without an application fails the open.
bool desktopHasApplicationFor(const QString&) {
    return true;
}
#endif
} // namespace

bool DesktopShell::openDocument(const QString& path) {
    // A missing document is not handed to the desktop: some desktops answer it
    // with an error window of their own.
    if (!QFileInfo::exists(path) || !desktopHasApplicationFor(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace velkoria
