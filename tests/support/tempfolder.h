#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace velkoria::test {

// A fresh program folder for one test: the program's files are looked up here.
class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.path() + u'/' + name; }
    void write(const QString& name, const QByteArray& bytes) const;
    // UTF-8 source text written in code page 932, lines as given (no line ends added).
    void writeCp932(const QString& name, const QString& text) const;
    QByteArray read(const QString& name) const;
    bool exists(const QString& name) const;
    // Makes the folder read-only (or writable again), to make writes fail.
    void setReadOnly(bool readOnly) const;

private:
    QTemporaryDir m_dir;
};

// Text in code page 932, as the program's files hold it.
QByteArray cp932(const QString& text);
// A text file of the program with these lines, each ended by CR LF.
QByteArray cp932Lines(const QStringList& lines);
// Text from code page 932 bytes (a page, a file); what is not code page 932
// shows as a replacement character.
QString fromCp932(const QByteArray& bytes);
// The whole content of a file; empty if it cannot be read.
QByteArray fileBytes(const QString& path);

// Whether a user other than the owner may read the file: its permission bits,
// or on Windows its access list (not the user alone).
bool othersMayRead(const QString& path);
// False under Wine, which keeps no access lists (a real Windows PC shows them).
bool accessListsKept();

// While it lives, every write of a file beyond a few bytes fails as on a full
// disk (the file size limit of the process); works for root too, for whom a
// read-only folder is no obstacle. Windows has no such limit: there every file
// of the program folder is held open by "another program" (as an editor or a
// virus scanner does), so a new file cannot take its place.
class DiskFull {
public:
    DiskFull();
    ~DiskFull();
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

private:
#if defined(Q_OS_WIN)
    std::vector<std::unique_ptr<QFile>> m_held;
#else
    unsigned long long m_old;
#endif
};

} // namespace velkoria::test
