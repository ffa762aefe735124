#include "platform/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#if defined(Q_OS_WIN)
#include <QDir>

#include <windows.h>

#include <shellapi.h>
#endif

namespace velkoria {

bool DesktopShell::openDocument(const QString& path) {
    // A missing document is not handed to the desktop: some desktops answer it
    // with an error window of their own.
    if (!QFileInfo::exists(path))
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
