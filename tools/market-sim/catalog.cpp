#include "catalog.h"

#include "sitetext.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace marketsim {

namespace {

// Every generated deadline lies in the 120 days from this date, so pages do not depend on today.
const QDate kFirstDeadline(2026, 11, 1);

quint32 fnv1a(const QString& text) {
    quint32 hash = 2166136261u;
    for (const char byte : text.toUtf8()) {
        hash ^= quint8(byte);
        hash *= 16777619u;
    }
    return hash;
}

QRandomGenerator generatorFor(quint32 seed, const QString& key, quint32 stream) {
    const std::array<quint32, 3> parts{seed, fnv1a(key), stream};
    return QRandomGenerator(parts.data(), qsizetype(parts.size()));
}

QString titleFor(const QString& subject, quint32 pick) {
    static const std::array<const char16_t*, 8> templates{
        u"%1のお見積りをお願いします",
        u"【急募】%1の依頼",
        u"%1について相談したい",
        u"小規模事業者向けの%1",
        u"%1（継続案件）",
        u"新規店舗の%1",
        u"%1・短納期希望",
        u"法人向け%1のご依頼",
    };
    return QString::fromUtf16(templates[pick % templates.size()]).arg(subject);
}

} // namespace

SortType sortTypeFromName(const QString& name) {
    if (name == u"limited")
        return SortType::Limited;
    if (name == u"bidding")
        return SortType::Bidding;
    return SortType::Registered;
}

QString sortTypeName(SortType sort) {
    switch (sort) {
    case SortType::Limited:
        return u"limited"_s;
    case SortType::Bidding:
        return u"bidding"_s;
    case SortType::Registered:
        break;
    }
    return u"registered"_s;
}

Catalog::Catalog(quint32 seed) : m_seed(seed) {}

bool Catalog::loadCategories(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = u"カテゴリファイル %1 を読めません: %2"_s.arg(path, file.errorString());
        return false;
    }
    const QStringList lines = decodeSiteText(file.readAll()).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype first = line.indexOf(u',');
        const qsizetype second = first < 0 ? -1 : line.indexOf(u',', first + 1);
        if (first <= 0 || second < 0) {
            *error = u"カテゴリファイル %1 の %2 行目が「キー,分類,表示名」の形ではありません。"_s.arg(path).arg(i + 1);
            return false;
        }
        const QString key = line.left(first);
        if (!m_captions.contains(key)) {
            m_captions.insert(key, line.mid(second + 1));
            m_listedKeys.append(key);
        }
    }
    m_listLoaded = true;
    return true;
}

QString Catalog::caption(const QString& key) const {
    return m_captions.value(key);
}

bool Catalog::upperCaseTags(const QString& key) {
    return (fnv1a(key) & 1u) != 0;
}

Catalog::Category& Catalog::category(const QString& key) {
    auto it = m_categories.find(key);
    if (it == m_categories.end())
        it = m_categories.emplace(key, Category{generate(key)}).first;
    return it->second;
}

bool Catalog::hasStartingList(const QString& key) const {
    return !key.isEmpty() && (!m_listLoaded || m_captions.contains(key));
}

QList<MarketRequest> Catalog::generate(const QString& key) {
    if (!hasStartingList(key))
        return {};
    QRandomGenerator random = generatorFor(m_seed, key, 0);
    const QString subject = m_captions.value(key, key);
    const int count = 8 + int(random.bounded(13));
    const int newCount = 1 + int(random.bounded(3));
    int id = 10000 + int(random.bounded(60000));
    QList<MarketRequest> list;
    // Oldest first: the last few registered are the new-marked ones.
    for (int i = 0; i < count; ++i) {
        MarketRequest request;
        request.isNew = i >= count - newCount;
        request.id = QString::number(id);
        request.title = titleFor(subject, random.generate());
        request.deadline = kFirstDeadline.addDays(random.bounded(120));
        request.quotes = int(random.bounded(request.isNew ? 3 : 16));
        request.sequence = i + 1;
        list.append(request);
        id += 1 + int(random.bounded(37));
    }
    return list;
}

QList<MarketRequest> Catalog::requests(const QString& key, SortType sort) {
    if (!m_categories.contains(key) && !hasStartingList(key))
        return {};
    QList<MarketRequest> list = category(key).requests;
    const auto newerFirst = [](const MarketRequest& a, const MarketRequest& b) { return a.sequence > b.sequence; };
    switch (sort) {
    case SortType::Registered:
        std::stable_sort(list.begin(), list.end(), newerFirst);
        break;
    case SortType::Limited:
        std::stable_sort(list.begin(), list.end(), [&](const MarketRequest& a, const MarketRequest& b) {
            return a.deadline != b.deadline ? a.deadline < b.deadline : newerFirst(a, b);
        });
        break;
    case SortType::Bidding:
        std::stable_sort(list.begin(), list.end(), [&](const MarketRequest& a, const MarketRequest& b) {
            return a.quotes != b.quotes ? a.quotes > b.quotes : newerFirst(a, b);
        });
        break;
    }
    return list;
}

QList<PopularLink> Catalog::popular(const QString& key) const {
    QRandomGenerator random = generatorFor(m_seed, key, 1);
    QList<PopularLink> links;
    for (int i = 0; i < 4; ++i) {
        PopularLink link;
        link.id = QString::number(80000 + random.bounded(10000));
        link.title = titleFor(u"人気の案件"_s, random.generate());
        link.isNew = i % 2 == 0;
        links.append(link);
    }
    return links;
}

std::optional<MarketRequest> Catalog::find(const QString& id) const {
    for (const auto& [key, category] : m_categories) {
        for (const MarketRequest& request : category.requests) {
            if (request.id == id)
                return request;
        }
    }
    return std::nullopt;
}

MarketRequest Catalog::makeAdded(const QString& key, const QString& id) {
    MarketRequest request;
    request.id = id;
    request.title = u"【新着】%1のご依頼"_s.arg(m_captions.value(key, key));
    request.deadline = kFirstDeadline.addDays(fnv1a(id) % 120);
    request.quotes = 0;
    request.isNew = true;
    request.sequence = ++m_nextSequence;
    return request;
}

void Catalog::add(const QString& key, const QString& id) {
    QList<MarketRequest>& list = category(key).requests;
    list.removeIf([&](const MarketRequest& request) { return request.id == id; });
    list.append(makeAdded(key, id));
}

void Catalog::addToEveryCategory() {
    QStringList keys = m_listedKeys;
    for (const auto& [key, category] : m_categories) {
        if (!key.isEmpty() && !keys.contains(key))
            keys.append(key);
    }
    for (const QString& key : std::as_const(keys))
        add(key, QString::number(m_nextAddedId++));
}

void Catalog::clear(const QString& key) {
    category(key).requests.clear();
}

} // namespace marketsim
