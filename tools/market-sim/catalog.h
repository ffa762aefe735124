#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace marketsim {

// One open request for quotation as the marketplace lists it.
struct MarketRequest {
    QString id;
    QString title;
    QDate deadline;
    int quotes = 0;
    bool isNew = false;
    qint64 sequence = 0; // registration order: a larger value was registered later
};

// A link of the "popular requests" box below the result list.
struct PopularLink {
    QString id;
    QString title;
    bool isNew = false;
};

enum class SortType { Registered, Limited, Bidding };

// "registered", "limited" or "bidding"; anything else sorts as "registered", as the site does.
SortType sortTypeFromName(const QString& name);
QString sortTypeName(SortType sort);

// The requests of every category. A category's starting list depends only on the seed and the
// key, so the same seed gives the same pages in every run, whatever order the pages are asked in.
class Catalog {
public:
    explicit Catalog(quint32 seed);

    // Reads the category list ("key,second,caption" lines, code page 932). Once a list is loaded,
    // only its keys have requests; without one, every non-empty key has some.
    bool loadCategories(const QString& path, QString* error);

    // Caption from the category list, or an empty text for a key the list does not hold.
    QString caption(const QString& key) const;
    // Upper-case tag names for this category's pages (a fixed choice per key).
    static bool upperCaseTags(const QString& key);

    QList<MarketRequest> requests(const QString& key, SortType sort);
    QList<PopularLink> popular(const QString& key) const;
    std::optional<MarketRequest> find(const QString& id) const;

    // Registers a new-marked request as the newest of the category; an existing request with the
    // same ID in that category is replaced.
    void add(const QString& key, const QString& id);
    // Adds one new-marked request, with a fresh ID, to every category listed or used so far.
    void addToEveryCategory();
    void clear(const QString& key);

private:
    struct Category {
        QList<MarketRequest> requests;
    };

    bool hasStartingList(const QString& key) const;
    Category& category(const QString& key);
    QList<MarketRequest> generate(const QString& key);
    MarketRequest makeAdded(const QString& key, const QString& id);

    quint32 m_seed;
    bool m_listLoaded = false;
    QHash<QString, QString> m_captions;
    QStringList m_listedKeys;
    std::map<QString, Category> m_categories;
    qint64 m_nextSequence = 1'000'000;
    int m_nextAddedId = 90001;
};

} // namespace marketsim
