#include "tests/support/notifyservers.h"

#include <QDir>
#include <QJsonDocument>

namespace velkoria::test {

NotifyServers::~NotifyServers() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel(); // the script ends when its input closes
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool NotifyServers::start() {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(VELKORIA_SOURCE_DIR "/tests/support/notifyservers.py"), m_dir.path()});
    if (!m_process.waitForStarted(10000))
        return false;
    while (!m_process.canReadLine())
        if (!m_process.waitForReadyRead(20000))
            return false;
    const QJsonObject ports = QJsonDocument::fromJson(m_process.readLine()).object();
    smtp = ports.value(u"smtp").toInt();
    smtps = ports.value(u"smtps").toInt();
    plain = ports.value(u"plain").toInt();
    https = ports.value(u"https").toInt();
    http = ports.value(u"http").toInt();
    dead = ports.value(u"dead").toInt();
    caFile = ports.value(u"ca").toString();
    return smtp > 0 && https > 0 && dead > 0;
}

QString NotifyServers::url(const QString& scheme, int port, const QString& path) const {
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port).arg(path);
}

QList<QJsonObject> NotifyServers::records(const QString& prefix) const {
    QList<QJsonObject> list;
    QDir dir(m_dir.path());
    QFileInfoList files = dir.entryInfoList({prefix + u"*.json"}, QDir::Files);
    // In the order received: the number after the prefix.
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.completeBaseName().section(u'-', 1).toInt() < b.completeBaseName().section(u'-', 1).toInt();
    });
    for (const QFileInfo& file : files) {
        QFile f(file.filePath());
        if (f.open(QIODevice::ReadOnly))
            list.append(QJsonDocument::fromJson(f.readAll()).object());
    }
    return list;
}

} // namespace velkoria::test
