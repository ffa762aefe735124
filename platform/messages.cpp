#include "platform/messages.h"

#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

namespace velkoria {

void QtMessageSink::show(const QString& text) {
    // End-to-end tests read what the boxes said from this file; a user never sets it.
    static const QString logPath = qEnvironmentVariable("VELKORIA_MESSAGE_LOG");
    if (!logPath.isEmpty()) {
        QFile log(logPath);
        if (log.open(QIODevice::WriteOnly | QIODevice::Append))
            log.write(QString(QString(text).replace(u'\n', u' ') + u'\n').toUtf8());
    }
    QMessageBox box(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("velkoriaMessage"));
    box.exec();
}

void ProcessEnd::endNow(int exitCode) {
    // Every file is written whole and closed before a handler returns, so there is
    // nothing to flush but the standard streams. The browser follows us because its
    // control pipe closes with the process.
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace velkoria
