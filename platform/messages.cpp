#include "platform/messages.h"

#include <QMessageBox>
#include <cstdio>
#include <unistd.h>

namespace velkoria {

void QtMessageSink::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("velkoriaMessage"));
    box.exec();
}

void ProcessEnd::endNow(int exitCode) {
    // Every file is written whole and closed before a handler returns, so there is
    // nothing to flush but the standard streams. The browser follows us because its
    // control pipe closes with the process.
    std::fflush(nullptr);
    ::_exit(exitCode);
}

} // namespace velkoria
