#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace velkoria {

inline QString announcementsFileName() {
    return QStringLiteral("announcements.txt");
}

// One announced request.
struct Announcement {
    QDateTime time;  // when it was announced (local time, to the second)
    QString caption; // the quick button's caption
    QString id;      // the request's ID
    QString url;     // the request's page
    QString title;   // the text of the request's link; may be empty
};

// An announcement as one line of the file: time, ID, URL, caption and title,
// separated by tabs. The title came last (a tab or a line end in it is written as a blank),
// so a line of an older file, which ends with the caption, reads with an empty
// title; the caption is the one text that may hold a tab (an ID or a URL never
// does): whatever lies between the URL and the last field. An older line
// whose caption held a tab reads with the caption's last part as its title.
QString announcementLine(const Announcement& announcement);
// The announcement of a line; none for a line that is not one (edited by hand
// or damaged).
std::optional<Announcement> parseAnnouncementLine(const QString& line);

// The list of announcements, kept in announcements.txt (a text file of the
// program: code page 932, CR LF), oldest first, so that it survives a restart.
// Every run's new announcements rewrite the file once, whole (atomically),
// with the last kLines lines.
class AnnouncementLog {
public:
    static constexpr qsizetype kLines = 1000;

    explicit AnnouncementLog(QString path) : m_path(std::move(path)) {}

    // Reads the file; a missing one is an empty list. A file that cannot be
    // read throws RuntimeError (naming the file and the line): the list then
    // starts empty and never writes the file, so that nothing in it is lost.
    void load();
    // Adds the announcements and rewrites the file once. A failed write
    // throws RuntimeError naming the file; the announcements stay in the list
    // and the old file stays whole.
    void add(const QList<Announcement>& announcements);

    // The announcements at or after from, newest first. Lines that are not
    // announcements are skipped here, and kept in the file as they are.
    QList<Announcement> since(const QDateTime& from) const;

private:
    QString m_path;
    QStringList m_lines;
    bool m_writable = true;
};

// Where the list of the day begins: the start of today, or the program's
// start if that was earlier (a program running overnight keeps the night's).
QDateTime dayListStart(const QDateTime& programStart, const QDateTime& now);

} // namespace velkoria
