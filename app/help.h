#pragma once

#include "platform/cdp/browser.h"
#include "platform/messages.h"
#include "platform/shell.h"

#include <QString>

namespace velkoria {

// The manual in the program folder, which the Help menu item opens.
inline QString manualFileName() {
    return QStringLiteral("Velkoria.pdf");
}

// Help: opens the manual at path with the desktop's application for PDF files;
// where the desktop has none, shows it in the program's own browser (which has
// a PDF viewer of its own). When the manual is missing, or neither can show it,
// a message names the file. browser may be null (not started). Throws only
// BrowserGoneError, when the user has closed the browser.
void openManual(const QString& path, Shell& shell, Browser* browser, MessageSink& messages);

} // namespace velkoria
