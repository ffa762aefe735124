#include "app/inifile.h"

#include "platform/textfile.h"

#include <QFile>

namespace velkoria {

namespace {

// One line of the text: its content without the line end, and where the
// whole line (line end included) begins and ends.
struct Line {
    QStringView content;
    qsizetype begin;
    qsizetype end;
};

QList<Line> linesOf(QStringView text) {
    QList<Line> lines;
    qsizetype begin = 0;
    while (begin < text.size()) {
        qsizetype newline = text.indexOf(u'\n', begin);
        const qsizetype end = newline < 0 ? text.size() : newline + 1;
        qsizetype contentEnd = newline < 0 ? text.size() : newline;
        if (contentEnd > begin && text.at(contentEnd - 1) == u'\r')
            --contentEnd;
        lines.append({text.sliced(begin, contentEnd - begin), begin, end});
        begin = end;
    }
    return lines;
}

std::optional<QStringView> sectionName(QStringView line) {
    line = line.trimmed();
    if (!line.startsWith(u'[') || !line.endsWith(u']'))
        return std::nullopt;
    return line.sliced(1, line.size() - 2).trimmed();
}

// The key of a "key=value" line and what follows its '='.
std::optional<std::pair<QStringView, QStringView>> keyOf(QStringView line) {
    const QStringView trimmed = line.trimmed();
    if (trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
        return std::nullopt;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    return std::pair{line.left(equals).trimmed(), line.sliced(equals + 1)};
}

// Where the comment of a value begins: its first ';' outside double quotes.
qsizetype commentStart(QStringView raw) {
    bool quoted = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw.at(i) == u'"')
            quoted = !quoted;
        else if (raw.at(i) == u';' && !quoted)
            return i;
    }
    return -1;
}

} // namespace

QString readIniText(const QString& path, bool* hadBom) {
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    // QString::fromUtf8 drops a leading BOM.
    if (hadBom)
        *hadBom = bytes.startsWith("\xEF\xBB\xBF");
    return QString::fromUtf8(bytes);
}

std::optional<QStringView> rawIniValue(QStringView text, QStringView section, QStringView key) {
    bool inSection = false;
    for (const Line& line : linesOf(text)) {
        if (const auto name = sectionName(line.content)) {
            inSection = name->compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const auto entry = keyOf(line.content);
        if (inSection && entry && entry->first.compare(key, Qt::CaseInsensitive) == 0)
            return entry->second;
    }
    return std::nullopt;
}

QString iniValueAsWritten(QStringView raw) {
    const qsizetype comment = commentStart(raw);
    QStringView value = (comment < 0 ? raw : raw.left(comment)).trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.sliced(1, value.size() - 2);
    return value.toString();
}

std::optional<QString> iniWritableValue(const QString& value) {
    if (value.contains(u'\n') || value.contains(u'\r'))
        return std::nullopt;
    for (const QString& written : {value, QString(u'"' + value + u'"')})
        if (iniValueAsWritten(written) == value)
            return written;
    return std::nullopt;
}

QString withIniValues(const QString& text, QStringView section, const QList<std::pair<QString, QString>>& values) {
    const QString newline = text.contains(u"\r\n") || text.isEmpty() ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString out;
    QList<bool> written(values.size(), false);
    bool inSection = false;
    bool sectionSeen = false;
    // The missing keys of the section, added after its last key line.
    const auto addMissing = [&] {
        for (qsizetype i = 0; i < values.size(); ++i)
            if (!written.at(i)) {
                out += values.at(i).first + u'=' + values.at(i).second + newline;
                written[i] = true;
            }
    };
    QString pendingBlank; // blank and comment lines after the section's last key
    const QList<Line> lines = linesOf(text);
    for (const Line& line : lines) {
        const QStringView whole = QStringView(text).sliced(line.begin, line.end - line.begin);
        if (sectionName(line.content)) {
            if (inSection)
                addMissing();
            out += pendingBlank;
            pendingBlank.clear();
            inSection = sectionName(line.content)->compare(section, Qt::CaseInsensitive) == 0;
            sectionSeen = sectionSeen || inSection;
            out += whole;
            if (!whole.endsWith(u'\n'))
                out += newline;
            continue;
        }
        const auto entry = keyOf(line.content);
        if (!inSection || !entry) {
            (inSection ? pendingBlank : out) += whole;
            continue;
        }
        out += pendingBlank;
        pendingBlank.clear();
        qsizetype index = -1;
        for (qsizetype i = 0; i < values.size(); ++i)
            if (entry->first.compare(values.at(i).first, Qt::CaseInsensitive) == 0)
                index = i;
        if (index < 0) {
            out += whole;
            continue;
        }
        if (written.at(index))
            continue; // a second line of the same key: the first one holds the value now
        written[index] = true;
        // The comment after the old value stays, with the blanks before it.
        const QStringView raw = entry->second;
        qsizetype comment = commentStart(raw);
        if (comment >= 0)
            while (comment > 0 && raw.at(comment - 1).isSpace())
                --comment;
        const QStringView lineEnd = whole.sliced(line.content.size());
        out += line.content.left(line.content.size() - raw.size()) + values.at(index).second +
               (comment < 0 ? QString() : raw.sliced(comment).toString()) +
               (lineEnd.isEmpty() ? newline : lineEnd.toString());
    }
    if (inSection)
        addMissing();
    out += pendingBlank;
    if (!sectionSeen) {
        if (!out.isEmpty() && !out.endsWith(u'\n'))
            out += newline;
        if (!out.isEmpty() && !out.endsWith(newline + newline))
            out += newline; // a blank line before the new section
        out += u'[' + section.toString() + u']' + newline;
        addMissing();
    }
    return out;
}

void writeIniText(const QString& path, const QString& text, bool bom) {
    QByteArray bytes = bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    bytes += text.toUtf8();
    writeFileBytes(path, bytes);
}

} // namespace velkoria
