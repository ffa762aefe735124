// The program's text files and the two tables read from them: any bytes as
// the quick-button file and the category file. A bad line may only end in a
// RuntimeError, never in a crash.
#include "buttons/tables.h"
#include "platform/errors.h"

#include "platform/textfile.h"
#include <QStringDecoder>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

namespace {
void write(const QString& name, const QByteArray& bytes) {
    QFile file(velkoria::programFile(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velkoria;
    static QTemporaryDir folder;
    static const bool once = (setProgramFolder(folder.path()), true);
    (void)once;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QStringList lines =
        splitTextLines(QStringDecoder("Shift_JIS", QStringDecoder::Flag::Stateless).decode(bytes));
    for (qsizetype i = 0; i < lines.size() && i < 300; ++i) {
        try {
            const TableRow row = parseTableLine(lines.at(i), categoryFileName(), int(i + 1));
            (void)formatButtonLine(row);
        } catch (const RuntimeError&) {
        }
    }
    write(buttonFileName(), bytes);
    write(categoryFileName(), bytes);
    try {
        (void)loadbuttons();
    } catch (const RuntimeError&) {
    }
    try {
        const CategoryLoad load = loadcategory();
        if (load.linesNotLoaded < 0)
            std::abort();
    } catch (const RuntimeError&) {
    }
    // What is read can be written back and read again unchanged, as far as
    // code page 932 holds it.
    QByteArray encoded;
    if (encodeCp932(lines.join(QString()), &encoded)) {
        QStringList clean;
        for (const QString& line : lines)
            clean.append(QString(line).remove(u'\r').remove(u'\n'));
        try {
            writeTextLines(programFile(QStringLiteral("new_item.txt")), clean);
            if (readTextLines(programFile(QStringLiteral("new_item.txt"))) != clean)
                std::abort();
        } catch (const RuntimeError&) {
        }
    }
    return 0;
}
