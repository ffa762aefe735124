#pragma once

#include "monitor/announcer.h"

#include <QStringList>

namespace velkoria::test {

// Records what the announcer asks of the desktop and the windows, into its own
// list or into one the test shares with other fakes (to see the order).
class RecordingSink : public AnnouncementSink {
public:
    explicit RecordingSink(QStringList* log = nullptr) : m_log(log ? log : &calls) {}
    void listChanged() override { m_log->append(QStringLiteral("list")); }
    void callUser() override { m_log->append(QStringLiteral("call user")); }
    void notify(const QString& title, const QString& text, const QString& url) override {
        m_log->append(QStringLiteral("notify %1 / %2 / %3").arg(title, text, url));
    }
    void notifyDayList(const QString& title, const QString& text) override {
        m_log->append(QStringLiteral("notify list %1 / %2").arg(title, text));
    }
    QStringList calls;

private:
    QStringList* m_log;
};

} // namespace velkoria::test
