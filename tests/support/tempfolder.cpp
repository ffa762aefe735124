#include "tests/support/tempfolder.h"

#include "platform/textfile.h"

#include <QFile>
#include <QtTest>

#if defined(Q_OS_WIN)
#include "tests/windows/accesslist.h"
#include <QDir>
#else
#include <csignal>
#include <sys/resource.h>
#endif

namespace velkoria::test {

TempProgramFolder::TempProgramFolder() {
    QVERIFY2(m_dir.isValid(), "temporary folder");
    setProgramFolder(m_dir.path());
}

TempProgramFolder::~TempProgramFolder() {
    setReadOnly(false);
    setProgramFolder({});
}

void TempProgramFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void TempProgramFolder::writeCp932(const QString& name, const QString& text) const {
    write(name, cp932(text));
}

QByteArray TempProgramFolder::read(const QString& name) const {
    return fileBytes(file(name));
}

bool TempProgramFolder::exists(const QString& name) const {
    return QFile::exists(file(name));
}

void TempProgramFolder::setReadOnly(bool readOnly) const {
    QFile::setPermissions(m_dir.path(), readOnly
                                            ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QByteArray cp932(const QString& text) {
    QByteArray bytes;
    if (!encodeCp932(text, &bytes))
        qFatal("test text not representable in code page 932");
    return bytes;
}

QByteArray cp932Lines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += cp932(line) + "\r\n";
    return bytes;
}

QString fromCp932(const QByteArray& bytes) {
    QString text;
    if (decodeCp932(bytes, &text))
        return text;
    QStringDecoder decoder("Shift_JIS", QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

#if defined(Q_OS_WIN)
bool othersMayRead(const QString& path) {
    return !wintest::userAlone(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString());
}

bool accessListsKept() {
    return wintest::accessListsKept();
}

DiskFull::DiskFull() {
    // Qt opens files without sharing their deletion: none of them can be replaced.
    for (const QFileInfo& info : QDir(programFolder()).entryInfoList(QDir::Files)) {
        auto file = std::make_unique<QFile>(info.absoluteFilePath());
        QVERIFY2(file->open(QIODevice::ReadOnly), qPrintable(file->fileName()));
        m_held.push_back(std::move(file));
    }
}

DiskFull::~DiskFull() = default;
#else
bool othersMayRead(const QString& path) {
    return QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

bool accessListsKept() {
    return true;
}

DiskFull::DiskFull() {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_old = limit.rlim_cur;
    limit.rlim_cur = 4;
    setrlimit(RLIMIT_FSIZE, &limit);
}

DiskFull::~DiskFull() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_old;
    setrlimit(RLIMIT_FSIZE, &limit);
}
#endif

} // namespace velkoria::test
