#pragma once

#include "platform/browser.h"
#include "platform/settings.h"

#include <memory>

namespace velkoria {

// Starts the program's own Chromium-family browser (Chrome, Edge or Chromium),
// hidden, with its own profile folder, and connects to it over its control pipe.
// Throws RuntimeError naming the executable, with the browser's own error
// output, when no browser can be started or it does not answer.
std::unique_ptr<Browser> launchBrowser(const Settings& settings, const QString& profileFolder);

// The name of the profile folder inside the program folder.
inline QString browserProfileFolderName() {
    return QStringLiteral("browser-profile");
}

} // namespace velkoria
