#include "monitor/announcements.h"

#include "platform/errors.h"
#include "platform/textfile.h"

#include <QFileInfo>

namespace velkoria {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

} // namespace

QString announcementLine(const Announcement& a) {
    // A title holds no tab or line end (the scanner folds white space); one
    // given otherwise would split the line.
    QString title = a.title;
    for (QChar& c : title)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return a.time.toString(kTimeFormat) + u'\t' + a.id + u'\t' + a.url + u'\t' + a.caption + u'\t' + title;
}

std::optional<Announcement> parseAnnouncementLine(const QString& line) {
    const QStringList fields = line.split(u'\t');
    if (fields.size() < 4)
        return std::nullopt;
    Announcement a;
    a.time = QDateTime::fromString(fields.at(0), kTimeFormat);
    a.id = fields.at(1);
    a.url = fields.at(2);
    if (fields.size() == 4) {
        a.caption = fields.at(3); // written before the titles were
    } else {
        a.caption = fields.mid(3, fields.size() - 4).join(u'\t');
        a.title = fields.last();
    }
    if (!a.time.isValid() || a.url.isEmpty())
        return std::nullopt;
    return a;
}

void AnnouncementLog::load() {
    m_lines.clear();
    if (!QFileInfo::exists(m_path))
        return;
    try {
        m_lines = readTextLines(m_path);
    } catch (const RuntimeError&) {
        m_writable = false;
        throw;
    }
}

void AnnouncementLog::add(const QList<Announcement>& announcements) {
    for (const Announcement& announcement : announcements)
        m_lines.append(storableText(announcementLine(announcement)));
    if (m_lines.size() > kLines)
        m_lines.remove(0, m_lines.size() - kLines);
    if (m_writable)
        writeTextLines(m_path, m_lines);
}

QList<Announcement> AnnouncementLog::since(const QDateTime& from) const {
    QList<Announcement> out;
    for (auto line = m_lines.crbegin(); line != m_lines.crend(); ++line) {
        const std::optional<Announcement> a = parseAnnouncementLine(*line);
        if (a && a->time >= from)
            out.append(*a);
    }
    return out;
}

QDateTime dayListStart(const QDateTime& programStart, const QDateTime& now) {
    return std::min(programStart, QDateTime(now.date(), QTime(0, 0)));
}

} // namespace velkoria
