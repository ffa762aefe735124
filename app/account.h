#pragma once

#include <QString>

namespace velkoria {

// The account kept in "zandorp_id.txt": line 1 the ID, line 2 the password,
// both in plain text (the site's login takes them as they are).
struct Account {
    QString id;
    QString password;
};

inline QString accountFileName() {
    return QStringLiteral("zandorp_id.txt");
}

// `loadid`: a missing file (a fresh install) gives two empty values; a file
// with fewer than two lines throws RuntimeError naming the file and the line.
// Lines after the second are ignored.
Account loadid();

// `saveid`: rewrites the whole file atomically, readable by its owner only.
// Throws RuntimeError naming the file when the write fails (the old file stays).
void saveid(const Account& account);

} // namespace velkoria
