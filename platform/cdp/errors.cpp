#include "platform/cdp/errors.h"

#include <QDir>

namespace velkoria {

namespace {

QString problemText(const BrowserError& error) {
    switch (error.problem) {
    case BrowserError::Problem::FileInTheWay:
        return QStringLiteral("a file of that name is in the way");
    case BrowserError::Problem::NotAFolder:
        return QStringLiteral("%1 is a file, not a folder").arg(QDir::toNativeSeparators(error.problemPath));
    case BrowserError::Problem::ReadOnlyDrive:
        return QStringLiteral("read-only drive");
    case BrowserError::Problem::DiskFull:
        return QStringLiteral("disk full");
    case BrowserError::Problem::NoPermission:
        return QStringLiteral("no permission to write");
    case BrowserError::Problem::None:
    case BrowserError::Problem::NotWritable:
        break;
    }
    return QStringLiteral("not writable");
}

QString stageText(const BrowserError& error) {
    switch (error.stage) {
    case BrowserError::Stage::NoPage:
        return QStringLiteral("reaches no page (%1)")
            .arg(error.cause ? QString::fromUtf8(error.cause->what()) : QString());
    case BrowserError::Stage::NoAnswer:
        return QStringLiteral("does not answer within %1 s").arg(error.seconds);
    case BrowserError::Stage::EndedAtOnce:
    case BrowserError::Stage::None:
        break;
    }
    return QStringLiteral("ended at once");
}

} // namespace

BrowserError::BrowserError(Kind kind) : m_kind(kind) {
    describe();
}

void BrowserError::describe() {
    const QString where = QDir::toNativeSeparators(path);
    QString text;
    switch (m_kind) {
    case Kind::Gone:
        text = QStringLiteral("Browser gone");
        break;
    case Kind::NoAnswer:
        text = QStringLiteral("Protocol error (%1): no answer in time").arg(command);
        break;
    case Kind::Refused:
        text = QStringLiteral("Protocol error (%1): %2 [%3]").arg(command, message).arg(code);
        break;
    case Kind::ScriptFailed:
        text = QStringLiteral("Protocol error (%1): the page's script threw: %2").arg(command, message);
        break;
    case Kind::NoPage:
        text = QStringLiteral("Protocol error: the page's session does not answer");
        break;
    case Kind::NotFound:
        text = path.isEmpty() ? QStringLiteral("No Chrome, Edge or Chromium found")
                              : QStringLiteral("Browser not found: %1").arg(path);
        break;
    case Kind::CannotRun:
        text = QStringLiteral("Cannot run the browser %1: %2").arg(where, message);
        break;
    case Kind::ProfileUnusable:
        text = QStringLiteral("Profile folder %1 unusable: %2").arg(where, problemText(*this));
        break;
    case Kind::ProfileInUse:
        text = QStringLiteral("Profile folder %1 in use by another browser (process %2)").arg(where).arg(process);
        break;
    case Kind::StartFailed:
        text = QStringLiteral("Browser %1 %2").arg(where, stageText(*this));
        if (exitCode >= 0)
            text += QStringLiteral("; exit code %1").arg(exitCode);
        if (!message.isEmpty())
            text += QStringLiteral("; ") + message;
        break;
    }
    m_what = text.toUtf8();
}

BrowserGoneError::BrowserGoneError() : BrowserError(Kind::Gone) {}

BrowserCommandError::BrowserCommandError(Kind kind, const QString& command_, const QString& message_, qint64 code_)
    : BrowserError(kind) {
    command = command_;
    message = message_;
    code = code_;
    describe();
}

BrowserStartError::BrowserStartError(Kind kind, const QString& path_) : BrowserError(kind) {
    path = path_;
    describe();
}

} // namespace velkoria
