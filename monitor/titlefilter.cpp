#include "monitor/titlefilter.h"

#include <QRegularExpression>
#include <algorithm>

namespace velkoria {

namespace {

QString folded(const QString& text) {
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

} // namespace

TitleFilter::TitleFilter(const QString& include, const QString& exclude)
    : m_include(words(include)), m_exclude(words(exclude)) {}

QStringList TitleFilter::words(const QString& list) {
    static const QRegularExpression separators(QStringLiteral("[\\s,、]+"));
    // NFKC makes full-width blanks and commas the ASCII ones.
    return folded(list).split(separators, Qt::SkipEmptyParts);
}

bool TitleFilter::passes(const QString& title) const {
    if (title.isEmpty())
        return true;
    const QString text = folded(title);
    const auto holds = [&](const QStringList& words) {
        return std::any_of(words.begin(), words.end(), [&](const QString& word) { return text.contains(word); });
    };
    return (m_include.isEmpty() || holds(m_include)) && !holds(m_exclude);
}

} // namespace velkoria
