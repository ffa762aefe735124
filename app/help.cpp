#include "app/help.h"

#include "browser/marketplace.h"
#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace velkoria {

namespace {
// A local file shows at once; the limit only keeps a stuck viewer from holding the window.
constexpr std::chrono::milliseconds kManualLoadLimit{10000};

bool showInBrowser(const QString& path, Browser& browser) {
    try {
        browser.setVisible(true);
        browser.navigate(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), {}, {});
        return waitForPage(browser, kManualLoadLimit) == PageLoad::Complete;
    } catch (const BrowserCommandError&) {
        return false;
    }
}
} // namespace

void openManual(const QString& path, Shell& shell, Browser* browser, MessageSink& messages) {
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile()) {
        messages.show(QStringLiteral("マニュアル %1 が見つかりません。").arg(shown));
        return;
    }
    if (shell.openDocument(path))
        return;
    if (browser && showInBrowser(path, *browser))
        return;
    messages.show(QStringLiteral("マニュアル %1 を表示できません。PDF を表示できるアプリケーションで開いてください。")
                      .arg(shown));
}

} // namespace velkoria
