#pragma once

#include <QString>
#include <QStringList>

namespace velkoria {

// The filter words: a request goes out when its title holds one of the
// include words (or there are none) and none of the exclude words. Words are
// separated by blanks or commas (also full-width ones and "、") and matched
// without regard to case or width (NFKC with case folding). A request without
// a title always goes out.
class TitleFilter {
public:
    TitleFilter() = default;
    TitleFilter(const QString& include, const QString& exclude);
    bool passes(const QString& title) const;
    // A list of words as matched.
    static QStringList words(const QString& list);

private:
    QStringList m_include;
    QStringList m_exclude;
};

} // namespace velkoria
