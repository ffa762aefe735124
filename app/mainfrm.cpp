#include "app/mainfrm.h"

#include "app/account.h"
#include "app/help.h"
#include "app/monitorwiring.h"
#include "app/windowfit.h"
#include "platform/errors.h"
#include "platform/textfile.h"
#include "ui/messagebox.h"
#include "ui/windowslook.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QShowEvent>
#include <QTimer>
#include <QtMath>
#include <limits>

namespace velkoria {

// The buttons whose action waits, shown down until it runs. A button lets
// itself up when it loses the focus (the user clicks elsewhere meanwhile);
// a held one goes down again at once.
class HeldButtons : public QObject {
public:
    using QObject::QObject;

    void hold(QAbstractButton* button, bool down) {
        if (down && !m_held.contains(button)) {
            m_held.insert(button);
            button->installEventFilter(this);
            connect(button, &QObject::destroyed, this, [this, button] { m_held.remove(button); });
        } else if (!down && m_held.remove(button)) {
            button->removeEventFilter(this);
            disconnect(button, &QObject::destroyed, this, nullptr);
        }
        button->setDown(down);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::FocusOut || !m_held.contains(watched))
            return false;
        watched->event(event); // the button's own handling, which lets it up
        static_cast<QAbstractButton*>(watched)->setDown(true);
        return true;
    }

private:
    QSet<QObject*> m_held;
};

namespace {
// Windows system colour 9 (text on an active title bar): white.
const QColor kWindowColour(255, 255, 255);
// Windows system colour 15 (button face).
const QColor kButtonFace(240, 240, 240);

enum class Kind { Button, Frame, Label, TextBox, Option };

// One control of the window's design: its container (none: the client area),
// its caption or initial text, and its rectangle in twips.
struct Design {
    Kind kind;
    const char16_t* name;
    const char16_t* container;
    const char16_t* caption;
    int left, top, width, height;
};

// The controls in screen order; each comes after its container, and a text box
// after the label that overlaps it, so that the box lies on top.
const Design kDesign[] = {
    {Kind::Button, u"my_bussines", nullptr, u"マイビジネス", 120, 240, 2775, 495},
    {Kind::Frame, u"Frame1", nullptr, u"ユーザ情報", 120, 840, 2775, 1095},
    {Kind::Label, u"Label1_0", u"Frame1", u"ID", 120, 360, 495, 255},
    {Kind::TextBox, u"Text1_0", u"Frame1", u"", 360, 360, 2295, 270},
    {Kind::Label, u"Label1_1", u"Frame1", u"パスワード", 120, 720, 975, 255},
    {Kind::TextBox, u"Text1_1", u"Frame1", u"", 960, 720, 1695, 270},
    {Kind::Button, u"Command2", nullptr, u"終了", 120, 2040, 2775, 495},
    {Kind::Frame, u"frami3", nullptr, u"クイックアクセス", 120, 3000, 2775, 7215},
    {Kind::Button, u"Command1_1", u"frami3", u"Command1", 240, 240, 2295, 375},
    {Kind::Button, u"Command1_2", u"frami3", u"Command1", 240, 720, 2295, 375},
    {Kind::Button, u"Command1_3", u"frami3", u"Command1", 240, 1200, 2295, 375},
    {Kind::Button, u"Command1_4", u"frami3", u"Command1", 240, 1680, 2295, 375},
    {Kind::Button, u"Command1_5", u"frami3", u"Command1", 240, 2160, 2295, 375},
    {Kind::Button, u"Command1_6", u"frami3", u"Command1", 240, 2640, 2295, 375},
    {Kind::Button, u"Command1_7", u"frami3", u"Command1", 240, 3120, 2295, 375},
    {Kind::Frame, u"Frame2", u"frami3", u"ソート", 480, 3600, 1815, 1575},
    {Kind::Option, u"Option1_0", u"Frame2", u"新規登録順", 120, 360, 1575, 255},
    {Kind::Option, u"Option1_1", u"Frame2", u"見積受付期限順", 120, 720, 1575, 255},
    {Kind::Option, u"Option1_2", u"Frame2", u"見積件数順", 120, 1080, 1455, 255},
    {Kind::Button, u"edit_button", u"frami3", u"編集", 120, 5280, 2535, 495},
    {Kind::Frame, u"Frame3", u"frami3", u"リアルタイム検査", 120, 5880, 2415, 1215},
    {Kind::Label, u"Label2", u"Frame3", u"周期分", 480, 360, 615, 255},
    {Kind::TextBox, u"Text2", u"Frame3", u"0", 1320, 240, 495, 375},
    {Kind::Label, u"Label3", u"Frame3", u"", 240, 720, 1935, 375},
};

void paintBackground(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    // Buttons (the sort options) fill with their Button role, the rest with Window.
    p.setColor(w->backgroundRole(), colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// A frame as Windows draws one: an etched line round the frame whose top runs
// through the middle of the caption, and the caption on it at the top left, on
// the frame's background. The caption's top is the frame's top, so the line
// stays clear of the controls inside, which the design puts below the caption.
class Frame : public QGroupBox {
public:
    Frame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect box = rect().adjusted(0, metrics.height() / 2, -1, -1);
        // Classic Windows colours: button shadow, then button highlight.
        painter.setPen(QColor(160, 160, 160));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.setPen(QColor(255, 255, 255));
        painter.drawRect(box.adjusted(1, 1, 0, 0));
        const QRect caption(kCaptionLeft, 0, metrics.horizontalAdvance(title()) + 2 * kCaptionPadding,
                            metrics.height());
        painter.fillRect(caption, palette().color(backgroundRole()));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title());
    }

private:
    static constexpr int kCaptionLeft = 6;
    static constexpr int kCaptionPadding = 2;
};

QWidget* makeControl(Kind kind, const QString& caption, QWidget* parent) {
    switch (kind) {
    case Kind::Button:
        return new QPushButton(caption, parent);
    case Kind::Frame: {
        auto* frame = new Frame(caption, parent);
        paintBackground(frame, kWindowColour);
        return frame;
    }
    case Kind::Label:
        return new QLabel(caption, parent);
    case Kind::TextBox: {
        auto* box = new QLineEdit(caption, parent);
        // Text boxes hold what the user or a file gives them, whatever its
        // length (QLineEdit would cut it at 32767 characters).
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    case Kind::Option: {
        auto* option = new QRadioButton(caption, parent);
        paintBackground(option, kWindowColour);
        return option;
    }
    }
    return nullptr;
}
} // namespace

MainFrm::MainFrm(MainServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)),
      // While something the user asked for waits, the pointer over every window
      // of the program says so (the arrow with the hourglass: it can still click).
      m_actions(m_services.messages, m_services.end,
                [](bool waiting) {
                    if (waiting)
                        QApplication::setOverrideCursor(Qt::BusyCursor);
                    else
                        QApplication::restoreOverrideCursor();
                }),
      m_held(new HeldButtons(this)) {
    setObjectName(QStringLiteral("mainfrm"));
    setWindowTitle(programTitle());
    setFont(designFont());
    setWindowIcon(programIcon());
    buildControls();
    useWindowsKeysAndLabels(*this);
}

MainFrm::~MainFrm() {
    // The editor has no owner window; it goes with the main window.
    delete m_editor.data();
}

void MainFrm::buildControls() {
    // The client area at the design's size, in a scroll area that shows it
    // whole where the screen has the room, and scrolls where it has not.
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("client"));
    paintBackground(client, kWindowColour);
    client->setFixedSize(twips(3000), twips(10410));
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName(QStringLiteral("clientScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus); // no tab stop of its own
    scroller->setWidget(client);
    paintBackground(scroller->viewport(), kWindowColour);
    setCentralWidget(scroller);
    m_whelp = menuBar()->addAction(QStringLiteral("ヘルプ"));
    m_whelp->setObjectName(QStringLiteral("whelp"));
    // After Help, which stays where users know it: 設定 with 通知の設定….
    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("設定"));
    settingsMenu->setObjectName(QStringLiteral("wsettings"));
    m_wnotify = settingsMenu->addAction(QStringLiteral("通知の設定…"));
    m_wnotify->setObjectName(QStringLiteral("wnotify"));

    for (const Design& d : kDesign) {
        QWidget* container = d.container ? client->findChild<QWidget*>(QString::fromUtf16(d.container)) : client;
        QWidget* w = makeControl(d.kind, QString::fromUtf16(d.caption), container);
        w->setObjectName(QString::fromUtf16(d.name));
        w->setGeometry(twips(d.left), twips(d.top), twips(d.width), twips(d.height));
    }
    const auto control = [client](const QString& name) { return client->findChild<QWidget*>(name); };
    m_myBussines = static_cast<QPushButton*>(control(QStringLiteral("my_bussines")));
    m_command2 = static_cast<QPushButton*>(control(QStringLiteral("Command2")));
    m_editButton = static_cast<QPushButton*>(control(QStringLiteral("edit_button")));
    for (int i = 0; i < 2; ++i)
        m_text1[size_t(i)] = static_cast<QLineEdit*>(control(QStringLiteral("Text1_%1").arg(i)));
    for (int i = 1; i <= kButtonSlots; ++i)
        m_command1[size_t(i)] = static_cast<QPushButton*>(control(QStringLiteral("Command1_%1").arg(i)));
    for (int i = 0; i < 3; ++i)
        m_option1[size_t(i)] = static_cast<QRadioButton*>(control(QStringLiteral("Option1_%1").arg(i)));
    m_label2 = static_cast<QLabel*>(control(QStringLiteral("Label2")));
    m_text2 = static_cast<QLineEdit*>(control(QStringLiteral("Text2")));
    m_label3 = static_cast<QLabel*>(control(QStringLiteral("Label3")));

    // What the design says besides name, caption and place.
    colourButton(m_myBussines, QColor(255, 255, 192)); // pale yellow
    colourButton(m_command2, QColor(240, 255, 240));   // pale green
    m_command2->setFont(designFont(11.25, true));
    m_text1[1]->setEchoMode(QLineEdit::Password);
    m_text1[1]->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // '*'
    m_text1[1]->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_text2->setFont(designFont(14.25, true));
    m_text2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label3->setAlignment(Qt::AlignHCenter);
    paintBackground(m_label3, kButtonFace);
    m_option1[0]->setChecked(true);
    for (int i = 0; i < 3; ++i) {
        QRadioButton* o = m_option1[size_t(i)];
        connect(o, &QRadioButton::toggled, this, [this, i](bool selected) {
            keepTabStopOnSelectedOption();
            if (selected)
                ask(UserAction::SortOption, {}, nullptr, [this, i] { m_sortOption = i; });
        });
    }
    keepTabStopOnSelectedOption();
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));

    // Tab order: my_bussines, the account boxes, Exit, the quick buttons from
    // the bottom up, the sort options from the bottom up, Edit, the cycle box.
    QList<QWidget*> order{m_myBussines, m_text1[0], m_text1[1], m_command2};
    for (int i = kButtonSlots; i >= 1; --i)
        order.append(m_command1[static_cast<size_t>(i)]);
    order << m_option1[2] << m_option1[1] << m_option1[0] << m_editButton << m_text2;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order.at(i), order.at(i + 1));

    // The handlers, each through the table of the user's actions.
    for (int i = 1; i <= kButtonSlots; ++i)
        connect(m_command1[size_t(i)], &QPushButton::clicked, this, [this, i] {
            ask(UserAction::QuickButton, QString::number(i), m_command1[size_t(i)], [this, i] { Command1_Click(i); });
        });
    connect(m_myBussines, &QPushButton::clicked, this,
            [this] { ask(UserAction::MyBusiness, {}, m_myBussines, [this] { my_bussines_Click(); }); });
    connect(m_command2, &QPushButton::clicked, this,
            [this] { ask(UserAction::Exit, {}, nullptr, [this] { Command2_Click(); }); });
    connect(m_editButton, &QPushButton::clicked, this,
            [this] { ask(UserAction::Edit, {}, m_editButton, [this] { edit_button_Click(); }); });
    connect(m_whelp, &QAction::triggered, this,
            [this] { ask(UserAction::Help, {}, nullptr, [this] { whelp_Click(); }); });
    connect(m_wnotify, &QAction::triggered, this,
            [this] { ask(UserAction::NotifySettings, {}, nullptr, [this] { wnotify_Click(); }); });
    for (QLineEdit* box : m_text1)
        box->installEventFilter(this);

    // Once the program is ending nothing may tick behind its last box.
    m_services.end.onEnding([window = QPointer<MainFrm>(this)] {
        if (window) {
            window->m_timer1->stop();
            window->m_timer2->stop();
        }
    });
    // On the way out the browser's pipe is closed and the browser is given a
    // few seconds to end by itself (to save its profile: cookies, the
    // session); only a browser that does not end is killed.
    m_services.end.onExit([window = QPointer<MainFrm>(this)] {
        if (window)
            window->m_browser.reset();
    });
}

void MainFrm::wireInspection() {
    m_monitor = std::make_unique<MonitorWiring>(
        MonitorWiring::Controls{*m_timer1, *m_timer2, *m_label2, *m_text2, *m_label3}, *m_browser);
    m_scanRun = std::make_unique<ScanRun>(*m_marketplace, m_buttoninfo, *m_monitor, messages(), m_services.clock,
                                          [this] { return currentSortType(); });
    m_schedule = std::make_unique<ScanSchedule>(*m_monitor, *m_scanRun);
    m_announce = std::make_unique<AnnounceWiring>(
        *this, messages(), m_services.end, m_services.clock, m_settings.announceBoxes, m_services.createNotifier,
        AnnounceWiring::Actions{
            [this] { ask(UserAction::ScanNow, {}, nullptr, [this] { m_schedule->scanNow(); }); },
            [this] { m_command2->click(); },
            [this](const QString& url) {
                ask(UserAction::OpenRequest, url, nullptr, [this, url] { m_marketplace->openRequest(url); });
            },
            [this](UserAction action, std::function<void()> handler) { ask(action, {}, nullptr, std::move(handler)); },
        });
    m_scanRun->setAnnouncer(&m_announce->announcer());
    // Away from the desk, no run waits for a click: its messages are notices.
    if (!m_settings.announceBoxes)
        m_scanRun->setNotices(&m_announce->notices());
    // Text2_Change, Timer1_Timer, Timer2_Timer; Text2_LostFocus and Label3_Click
    // come through the event filter. The cycle is read from the box when its
    // action runs: keystrokes made while other work runs apply once, with the
    // last text.
    connect(m_text2, &QLineEdit::textChanged, this, [this] {
        ask(UserAction::CycleChange, {}, nullptr, [this] { m_schedule->apply(m_text2->text(), true); });
    });
    connect(m_timer1, &QTimer::timeout, this,
            [this] { ask(UserAction::ScheduleTick, {}, nullptr, [this] { m_schedule->tick(); }); });
    connect(m_timer2, &QTimer::timeout, this,
            [this] { ask(UserAction::Blink, {}, nullptr, [this] { m_schedule->blinkTick(); }); });
    m_text2->installEventFilter(this);
    m_label3->installEventFilter(this);
}

void MainFrm::wireRemoteNotices() {
    m_remote = std::make_unique<RemoteNotices>();
    const QString iniPath = programFile(settingsFileName());
    NotifySettings settings;
    NotifySecrets secrets;
    try {
        settings = loadNotifySettings(iniPath);
        secrets = loadNotifySecrets();
    } catch (const RuntimeError& error) {
        // A bad mail or webhook setting (a certificate file since removed, a
        // value written by hand) stops those channels only, not the program.
        settings = {};
        messages().show(error.description() + u'\n' + remoteSettingsBrokenNotice());
    }
    applyNotifySettings(settings, secrets);
    m_scanRun->setRemoteNotices([remote = m_remote.get()](const QList<Announcement>& unseen) {
        QList<NoticeItem> items;
        items.reserve(unseen.size());
        for (const Announcement& a : unseen)
            items.append({a.caption, a.title, a.id, a.url});
        remote->scanFinished(items);
    });
    // A report comes when a send has ended, maybe while a scan waits for a
    // page: it is said once the running work has ended, as a scan's messages
    // are (each different text once).
    connect(m_remote.get(), &RemoteNotices::report, this, [this](const QString& text) {
        ask(UserAction::RemoteReport, text, nullptr, [this, text] { sayRemoteReport(text); });
    });
}

void MainFrm::applyNotifySettings(const NotifySettings& settings, const NotifySecrets& secrets) {
    m_remote->configure(settings, secrets);
    m_announce->announcer().setFilter(TitleFilter(settings.filterInclude, settings.filterExclude));
}

void MainFrm::sayRemoteReport(const QString& text) {
    if (m_settings.announceBoxes) {
        messages().show(text);
        return;
    }
    m_announce->notices().show(text);
    m_monitor->showNotice(text);
}

void MainFrm::keepTabStopOnSelectedOption() {
    // As on Windows: Tab enters the group on the selected option, and the arrow
    // keys (Qt's own handling of exclusive buttons) move the selection.
    for (QRadioButton* o : m_option1)
        o->setFocusPolicy(o->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

void MainFrm::ask(UserAction action, const QString& control, QAbstractButton* button, std::function<void()> handler) {
    std::function<void(bool)> pressed;
    if (button)
        pressed = [held = QPointer<HeldButtons>(m_held), button = QPointer<QAbstractButton>(button)](bool down) {
            if (held && button)
                held->hold(button, down);
        };
    m_actions.request(action, control, std::move(handler), std::move(pressed));
}

void MainFrm::dispatchEditor(EditorAction action, int row, QAbstractButton* button, std::function<void()> handler) {
    static constexpr UserAction kAction[] = {UserAction::EditorClear, UserAction::EditorSave, UserAction::EditorCancel,
                                             UserAction::EditorClose};
    const UserAction which = kAction[size_t(action)];
    // What waited for a dialog that its close box has discarded since is not done.
    ask(which, row >= 0 ? QString::number(row) : QString(), button, [editor = m_editor, handler = std::move(handler)] {
        if (editor && !editor->discarded())
            handler();
    });
}

void MainFrm::formLoad() {
    m_timer2->setInterval(1000);
    m_timer2->stop();
    m_buttoninfo = loadbuttons();
    applyButtons(m_buttoninfo, *this);
    const CategoryLoad categories = loadcategory();
    m_category = categories.table;
    const Account account = loadid();
    m_text1[0]->setText(account.id);
    m_text1[1]->setText(account.password);
    if (categories.linesNotLoaded > 0)
        messages().show(categoryOverflowNotice(categories.linesNotLoaded));

    m_settings = loadSettings(programFile(settingsFileName()));
    m_browser = m_services.takeBrowser();
    // The browser may still be starting: hiding it and its top edge are
    // applied as it comes up, and a failed start ends the program as a failed
    // step here would (after a handler that runs then, if any, has ended; one
    // that waits for the browser meets the failure itself).
    m_browser->onStartFailure([this](std::exception_ptr failure) {
        ask(UserAction::BrowserStartFailure, {}, nullptr, [failure] { std::rethrow_exception(failure); });
    });
    m_browser->setVisible(false);
    m_browser->setTop(0);
    m_marketplace = std::make_unique<Marketplace>(*m_browser, marketplaceSite(m_settings), messages());
    wireInspection();
    wireRemoteNotices();
    placeOnScreen(true);
    m_myBussines->setFocus(Qt::OtherFocusReason);
}

void MainFrm::placeOnScreen(bool move) {
    // The frame's size is known once the window is shown (on X11 only once
    // the window manager has framed it): see showEvent().
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    m_placedFrame = QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                             frame.bottom() - inner.bottom());
    const int width = twips(3000);
    const QSize design(width, twips(10410) + qMax(menuBar()->sizeHint().height(), menuBar()->heightForWidth(width)));
    // At a fractional scale (150 %) the frame's pixels round either way.
    const qreal ratio = devicePixelRatioF();
    const QMargins slack = ratio != qFloor(ratio) ? QMargins(1, 1, 1, 1) : QMargins();
    const QScreen* on = screen();
    const auto* scroller = static_cast<QScrollArea*>(centralWidget());
    const int scrollBar = scroller->verticalScrollBar()->sizeHint().width() + slack.left();
    const WindowFit fit =
        fitWindow(design, m_placedFrame + slack, scrollBar, on ? on->availableGeometry() : QRect(QPoint(0, 0), design));
    resize(fit.size);
    // The position includes the frame: Qt puts the frame there once it knows it.
    if (move)
        QWidget::move(fit.position);
}

void MainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Placed before its frame was known: its size is fitted once more as soon
    // as it is framed (Windows: before it shows; X11: once the window manager
    // has framed it, a moment after).
    if (m_placedFrame.isNull() && !event->spontaneous())
        placeWhenFramed(40);
}

void MainFrm::placeWhenFramed(int looksLeft) {
    if (frameGeometry() != geometry())
        return placeOnScreen(false);
    if (looksLeft > 0)
        QTimer::singleShot(50, this, [this, looksLeft] { placeWhenFramed(looksLeft - 1); });
}

void MainFrm::showQuickButton(int n, const QString& caption, bool visible) {
    QPushButton* b = m_command1.at(static_cast<size_t>(n));
    b->setText(caption);
    b->setVisible(visible);
}

QString MainFrm::currentSortType() const {
    return sorttype(m_sortOption == 1, m_sortOption == 2);
}

void MainFrm::Command1_Click(int index) {
    m_marketplace->quickAccess(m_buttoninfo.slot(index).key, currentSortType());
}

void MainFrm::my_bussines_Click() {
    try {
        m_marketplace->mybussines(m_text1[0]->text(), m_text1[1]->text());
    } catch (const UnsendableValueError& error) {
        // Nothing was sent and the browser stays as it was; say why.
        messages().show(error.description());
    }
}

void MainFrm::Command2_Click() {
    m_services.end.endNow(0);
}

void MainFrm::edit_button_Click() {
    // One editor at a time: created (and loaded) on first use and after its
    // close box discarded it, otherwise shown again as it was left.
    if (!m_editor || m_editor->discarded())
        m_editor = new EditButtonForm(
            m_buttoninfo, m_category, *this, messages(),
            [this](EditorAction action, int row, QAbstractButton* button, std::function<void()> handler) {
                dispatchEditor(action, row, button, std::move(handler));
            });
    m_editor->present();
}

void MainFrm::wnotify_Click() {
    if (!m_notifyfrm) {
        m_notifyfrm = new NotifyFrm(programFile(settingsFileName()), this);
        connect(m_notifyfrm, &NotifyFrm::saved, this, &MainFrm::applyNotifySettings);
    } else if (!m_notifyfrm->isVisible()) {
        m_notifyfrm->load(); // the files as they are now
    }
    bringToFront(*m_notifyfrm);
}

void MainFrm::whelp_Click() {
    openManual(programFile(manualFileName()), m_services.shell, m_browser.get(), messages());
}

void MainFrm::Text1_LostFocus() {
    try {
        saveid({m_text1[0]->text(), m_text1[1]->text()});
    } catch (const RuntimeError& error) {
        // What the user typed is still in the boxes; say so and keep running.
        messages().show(error.description());
    }
}

void MainFrm::closeEvent(QCloseEvent* event) {
    // The program ends, so the window needs no closing of its own; while a
    // message box is up, it ends when the box is closed.
    event->ignore();
    // Closed behind the box that ends the program: it ends as that box would.
    if (m_services.end.ending())
        m_services.end.endNow(m_services.end.endingExitCode());
    ask(UserAction::CloseBox, {}, nullptr, [this] { m_services.end.endNow(0); });
}

bool MainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another window or opening a menu is no loss of focus
        // within the window.
        const bool lostFocus = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        // Leaving an account box saves it even inside a wait: on the way to
        // Exit, say, which then ends the program at once.
        if (lostFocus && (watched == m_text1[0] || watched == m_text1[1]))
            ask(UserAction::SaveAccount, {}, nullptr, [this] { Text1_LostFocus(); });
        else if (lostFocus && watched == m_text2)
            ask(UserAction::CycleLostFocus, {}, nullptr, [this] { m_schedule->apply(m_text2->text(), false); });
    } else if (event->type() == QEvent::MouseButtonRelease && watched == m_label3) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_label3->rect().contains(mouse->position().toPoint()))
            ask(UserAction::ScanNow, {}, nullptr, [this] { m_schedule->scanNow(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace velkoria
