// The settings file: any bytes as velkoria.ini. A bad value may only end in a
// RuntimeError; whatever is accepted is within its limits.
#include "app/notifysettings.h"
#include "app/settings.h"
#include "platform/errors.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velkoria;
    static QTemporaryDir folder;
    // A new name for every input: QSettings keeps what it read of a path.
    static int count = 0;
    const QString path = folder.filePath(QString::number(++count) + QStringLiteral(".ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != qint64(size))
            std::abort();
    }
    try {
        const Settings settings = loadSettings(path);
        if (settings.loadTimeoutSeconds < 1 || settings.loadTimeoutSeconds > 3600)
            std::abort();
        if (!settings.searchUrl.startsWith(u"http://", Qt::CaseInsensitive) ||
            !settings.loginUrl.startsWith(u"https://", Qt::CaseInsensitive))
            std::abort();
    } catch (const RuntimeError&) {
    }
    try {
        loadNotifySettings(path);
    } catch (const RuntimeError&) {
    }
    QFile::remove(path);
    return 0;
}
