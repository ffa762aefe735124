#pragma once

#include "browser/marketplace.h"
#include "platform/cdp/chromium.h"
#include "platform/errors.h"

#include <QString>
#include <QStringList>

namespace velkoria {

// What velkoria.ini in the program folder configures. Missing file or keys
// take the defaults below.
struct Settings {
    QString searchUrl = QStringLiteral("http://www.zandorp.jp/"); // [marketplace] search_url
    QString loginUrl = QStringLiteral("https://www.zandorp.jp/"); // [marketplace] login_url
    QString executable;                                           // [browser] executable; empty: usual places
    QStringList arguments;                                        // [browser] arguments, separated by spaces
    int loadTimeoutSeconds = 60;                                  // [browser] load_timeout_seconds
    bool announceBoxes = true;                                    // [announce] boxes: a box per new request
};

// What the marketplace's requests and the browser's start take of them.
MarketplaceSite marketplaceSite(const Settings& settings);
BrowserOptions browserOptions(const Settings& settings);

inline QString settingsFileName() {
    return QStringLiteral("velkoria.ini");
}

// The error of a malformed value: names the file and the key.
RuntimeError settingsValueError(const QString& path, const QString& key, const QString& what);

// Reads the settings file. A malformed value throws RuntimeError with a
// message that names the file and the key.
Settings loadSettings(const QString& path);

} // namespace velkoria
