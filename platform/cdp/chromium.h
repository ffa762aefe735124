#pragma once

#include "platform/cdp/browser.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace velkoria {

// The browser to start and how long a page may take.
struct BrowserOptions {
    QString executable;    // empty: Chrome, Edge or Chromium where they are usually installed
    QStringList arguments; // extra switches
    int loadTimeoutSeconds = 60;
};

// Starts the program's own Chromium-family browser (Chrome, Edge or Chromium),
// hidden, with its own profile folder, and connects to it over its control
// pipe. Returns once the process runs, without waiting for its first answer
// (Browser says how a browser that is still starting behaves). Throws
// BrowserStartError when no browser can be started; one that
// ends at once or does not answer fails its start the same way, with the
// browser's own error output.
std::unique_ptr<Browser> launchBrowser(const BrowserOptions& options, const QString& profileFolder);

// The browser taken when the settings name none: the first of Chrome, Edge
// and Chromium found where they are installed; empty when there is none.
QString installedBrowser();

// The name of the profile folder inside the program folder.
inline QString browserProfileFolderName() {
    return QStringLiteral("browser-profile");
}

} // namespace velkoria
