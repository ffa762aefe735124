#include "tests/support/tempfolder.h"

#include "platform/textfile.h"

#include <QFile>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

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

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

} // namespace velkoria::test
