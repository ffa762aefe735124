#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#if defined(Q_OS_WIN)
#include <QDir>

#include <windows.h>

#include <shellapi.h>
#endif

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
#if defined(Q_OS_WIN)
    // The shell's "open": the program the user has chosen for the document's
    // type (for the manual, the PDF viewer). Above 32 means it has started.
    const std::wstring file = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    const auto result =
        reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOW));
    return result > 32;
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

} // namespace velkoria
