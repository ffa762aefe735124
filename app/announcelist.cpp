#include "app/announcelist.h"

#include "platform/messages.h"
#include "ui/messagebox.h"
#include "ui/windowslook.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velkoria {

namespace {
constexpr int kUrlRole = Qt::UserRole;
constexpr int kTitleColumn = 3;
} // namespace

AnnouncementListWindow::AnnouncementListWindow(std::function<void(const QString& url)> open)
    : m_list(new QTreeWidget(this)), m_open(std::move(open)) {
    setObjectName(QStringLiteral("announcelist"));
    setWindowTitle(QStringLiteral("本日の新規案件 - ") + programTitle());
    setWindowIcon(programIcon());
    setFont(designFont());
    auto* hint =
        new QLabel(QStringLiteral("ダブルクリックか Enter キーで、案件のページをブラウザに表示します。"), this);
    hint->setWordWrap(true);
    m_list->setObjectName(QStringLiteral("list"));
    m_list->setHeaderLabels(
        {QStringLiteral("時刻"), QStringLiteral("ボタン"), QStringLiteral("案件番号"), QStringLiteral("タイトル")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // The title takes the rest of the width; a long one is cut, whole in its tooltip.
    m_list->header()->setSectionResizeMode(kTitleColumn, QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_list);
    resize(640, 320);
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { m_open(item->data(0, kUrlRole).toString()); });
}

void AnnouncementListWindow::showAnnouncements(const QList<Announcement>& announcements, const QDateTime& now) {
    m_list->clear();
    for (const Announcement& a : announcements) {
        const QString time =
            a.time.toString(a.time.date() == now.date() ? QStringLiteral("HH:mm:ss") : QStringLiteral("M/d HH:mm:ss"));
        auto* item = new QTreeWidgetItem(m_list, {time, a.caption, a.id, a.title});
        item->setToolTip(kTitleColumn, a.title);
        item->setData(0, kUrlRole, a.url);
    }
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
}

void AnnouncementListWindow::present() {
    bringToFront(*this);
    m_list->setFocus();
}

} // namespace velkoria
