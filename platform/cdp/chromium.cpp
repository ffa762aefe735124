#include "platform/chromium.h"

#include "platform/errors.h"

namespace velkoria {

// Placeholder until the DevTools client lands.
std::unique_ptr<Browser> launchBrowser(const Settings&, const QString&) {
    throw makeError(429, QStringLiteral("ブラウザを起動できません。"));
}

} // namespace velkoria
