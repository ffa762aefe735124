#include "app/mainfrm.h"

#include "app/account.h"
#include "app/help.h"
#include "app/monitorwiring.h"
#include "app/waitpump.h"
#include "platform/errors.h"
#include "platform/handler.h"
#include "platform/textfile.h"
#include "platform/windowslook.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <limits>

namespace velkoria {

namespace {
// Windows system colour 9 (text on an active title bar): white.
const QColor kWindowColour(255, 255, 255);
// Windows system colour 15 (button face).
const QColor kButtonFace(240, 240, 240);

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void paintBackground(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    // Buttons (the sort options) fill with their Button role, the rest with Window.
    p.setColor(w->backgroundRole(), colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QPushButton* colouredButton(const QString& name, const QString& caption, const QColor& colour, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    colourButton(b, colour);
    return b;
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

QGroupBox* frame(const QString& name, const QString& caption, QWidget* parent) {
    auto* f = new Frame(caption, parent);
    f->setObjectName(name);
    paintBackground(f, kWindowColour);
    return f;
}

// Text boxes hold what the user or a file gives them, whatever its length
// (QLineEdit would cut it at 32767 characters).
QLineEdit* textBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}
} // namespace

MainFrm::MainFrm(MainServices services, QWidget* parent) : QMainWindow(parent), m_services(std::move(services)) {
    setObjectName(QStringLiteral("mainfrm"));
    setWindowTitle(programTitle());
    setFont(designFont());
    setWindowIcon(QIcon(QStringLiteral(":/velkoria.png")));
    buildControls();
    useWindowsKeysAndLabels(*this);
}

MainFrm::~MainFrm() {
    // The editor has no owner window; it goes with the main window.
    delete m_editor.data();
}

void MainFrm::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    paintBackground(client, kWindowColour);
    setCentralWidget(client);

    m_whelp = menuBar()->addAction(QStringLiteral("ヘルプ"));
    m_whelp->setObjectName(QStringLiteral("whelp"));

    m_myBussines =
        colouredButton(QStringLiteral("my_bussines"), QStringLiteral("マイビジネス"), QColor(255, 255, 192), client);
    place(m_myBussines, 120, 240, 2775, 495);

    auto* frame1 = frame(QStringLiteral("Frame1"), QStringLiteral("ユーザ情報"), client);
    place(frame1, 120, 840, 2775, 1095);
    auto* label10 = new QLabel(QStringLiteral("ID"), frame1);
    label10->setObjectName(QStringLiteral("Label1_0"));
    place(label10, 120, 360, 495, 255);
    m_text1[0] = textBox(QStringLiteral("Text1_0"), frame1);
    place(m_text1[0], 360, 360, 2295, 270);
    auto* label11 = new QLabel(QStringLiteral("パスワード"), frame1);
    label11->setObjectName(QStringLiteral("Label1_1"));
    place(label11, 120, 720, 975, 255);
    m_text1[1] = textBox(QStringLiteral("Text1_1"), frame1);
    place(m_text1[1], 960, 720, 1695, 270);
    m_text1[1]->setEchoMode(QLineEdit::Password);
    m_text1[1]->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // '*'
    m_text1[1]->setAttribute(Qt::WA_InputMethodEnabled, false);
    // The labels overlap the boxes in the layout; keep the boxes on top.
    m_text1[0]->raise();
    m_text1[1]->raise();

    m_command2 = colouredButton(QStringLiteral("Command2"), QStringLiteral("終了"), QColor(240, 255, 240), client);
    place(m_command2, 120, 2040, 2775, 495);
    m_command2->setFont(designFont(11.25, true));

    auto* frami3 = frame(QStringLiteral("frami3"), QStringLiteral("クイックアクセス"), client);
    place(frami3, 120, 3000, 2775, 7215);
    for (int i = 1; i <= kButtonSlots; ++i) {
        auto* b = new QPushButton(QStringLiteral("Command1"), frami3);
        b->setObjectName(QStringLiteral("Command1_%1").arg(i));
        place(b, 240, 240 + 480 * (i - 1), 2295, 375);
        m_command1[static_cast<size_t>(i)] = b;
        connect(b, &QPushButton::clicked, this, [this, i] { runGuarded([this, i] { Command1_Click(i); }); });
    }

    auto* frame2 = frame(QStringLiteral("Frame2"), QStringLiteral("ソート"), frami3);
    place(frame2, 480, 3600, 1815, 1575);
    const char16_t* optionCaptions[] = {u"新規登録順", u"見積受付期限順", u"見積件数順"};
    const int optionWidths[] = {1575, 1575, 1455};
    for (int i = 0; i < 3; ++i) {
        auto* o = new QRadioButton(QString::fromUtf16(optionCaptions[i]), frame2);
        o->setObjectName(QStringLiteral("Option1_%1").arg(i));
        place(o, 120, 360 + 360 * i, optionWidths[i], 255);
        paintBackground(o, kWindowColour);
        m_option1[static_cast<size_t>(i)] = o;
    }
    m_option1[0]->setChecked(true);
    for (QRadioButton* o : m_option1)
        connect(o, &QRadioButton::toggled, this, [this] { keepTabStopOnSelectedOption(); });
    keepTabStopOnSelectedOption();

    m_editButton = new QPushButton(QStringLiteral("編集"), frami3);
    m_editButton->setObjectName(QStringLiteral("edit_button"));
    place(m_editButton, 120, 5280, 2535, 495);

    auto* frame3 = frame(QStringLiteral("Frame3"), QStringLiteral("リアルタイム検査"), frami3);
    place(frame3, 120, 5880, 2415, 1215);
    m_label2 = new QLabel(QStringLiteral("周期分"), frame3);
    m_label2->setObjectName(QStringLiteral("Label2"));
    place(m_label2, 480, 360, 615, 255);
    m_text2 = textBox(QStringLiteral("Text2"), frame3);
    m_text2->setText(QStringLiteral("0"));
    place(m_text2, 1320, 240, 495, 375);
    m_text2->setFont(designFont(14.25, true));
    m_text2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label3 = new QLabel(frame3);
    m_label3->setObjectName(QStringLiteral("Label3"));
    place(m_label3, 240, 720, 1935, 375);
    m_label3->setAlignment(Qt::AlignHCenter);
    paintBackground(m_label3, kButtonFace);

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

    connect(m_myBussines, &QPushButton::clicked, this, [this] { runGuarded([this] { my_bussines_Click(); }); });
    connect(m_command2, &QPushButton::clicked, this, [this] { runGuarded([this] { Command2_Click(); }); });
    installWaitPump(m_command2);
    connect(m_editButton, &QPushButton::clicked, this, [this] { runGuarded([this] { edit_button_Click(); }); });
    connect(m_whelp, &QAction::triggered, this, [this] { runGuarded([this] { whelp_Click(); }); });
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

    // The menu bar takes the larger of its two heights (Windows' style gives
    // one pixel more for a width): the client area below it stays whole.
    const int width = twips(3000);
    resize(width, twips(10410) + qMax(menuBar()->sizeHint().height(), menuBar()->heightForWidth(width)));
}

void MainFrm::wireInspection() {
    m_monitor = std::make_unique<MonitorWiring>(
        MonitorWiring::Controls{*m_timer1, *m_timer2, *m_label2, *m_text2, *m_label3}, *m_browser);
    m_scanRun = std::make_unique<ScanRun>(*m_marketplace, m_buttoninfo, *m_monitor, m_services.messages,
                                          [this] { return currentSortType(); });
    m_schedule = std::make_unique<ScanSchedule>(*m_monitor, *m_scanRun);
    // Text2_Change, Timer1_Timer, Timer2_Timer; Text2_LostFocus and Label3_Click
    // come through the event filter.
    connect(m_text2, &QLineEdit::textChanged, this,
            [this] { runGuarded([this] { m_schedule->apply(m_text2->text(), true); }); });
    connect(m_timer1, &QTimer::timeout, this, [this] { runGuarded([this] { m_schedule->tick(); }); });
    connect(m_timer2, &QTimer::timeout, this, [this] { runGuarded([this] { m_schedule->blinkTick(); }); });
    m_text2->installEventFilter(this);
    m_label3->installEventFilter(this);
}

void MainFrm::keepTabStopOnSelectedOption() {
    // As on Windows: Tab enters the group on the selected option, and the arrow
    // keys (Qt's own handling of exclusive buttons) move the selection.
    for (QRadioButton* o : m_option1)
        o->setFocusPolicy(o->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

void MainFrm::runGuarded(const std::function<void()>& handler) {
    runHandler(m_services.messages, m_services.end, handler);
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
        m_services.messages.show(categoryOverflowNotice(categories.linesNotLoaded));

    m_settings = loadSettings(programFile(settingsFileName()));
    m_browser = m_services.createBrowser(m_settings);
    m_browser->setVisible(false);
    m_browser->setTop(0);
    m_marketplace = std::make_unique<Marketplace>(*m_browser, m_settings, m_services.messages);
    wireInspection();
    move(0, 0);
    m_myBussines->setFocus(Qt::OtherFocusReason);
}

void MainFrm::showQuickButton(int n, const QString& caption, bool visible) {
    QPushButton* b = m_command1.at(static_cast<size_t>(n));
    b->setText(caption);
    b->setVisible(visible);
}

QString MainFrm::currentSortType() const {
    return sorttype(m_option1[1]->isChecked(), m_option1[2]->isChecked());
}

void MainFrm::Command1_Click(int index) {
    m_marketplace->quickAccess(m_buttoninfo.slot(index).key, currentSortType());
}

void MainFrm::my_bussines_Click() {
    try {
        m_marketplace->mybussines(m_text1[0]->text(), m_text1[1]->text());
    } catch (const UnsendableValueError& error) {
        // Nothing was sent and the browser stays as it was; say why.
        m_services.messages.show(error.description());
    }
}

void MainFrm::Command2_Click() {
    m_services.end.endNow(0);
}

void MainFrm::edit_button_Click() {
    // One editor at a time: created (and loaded) on first use and after its
    // close box discarded it, otherwise shown again as it was left.
    if (!m_editor)
        m_editor = new EditButtonForm(m_buttoninfo, m_category, *this, m_services.messages, m_services.end);
    m_editor->present();
}

void MainFrm::whelp_Click() {
    openManual(programFile(manualFileName()), m_services.shell, m_browser.get(), m_services.messages);
}

void MainFrm::Text1_LostFocus() {
    try {
        saveid({m_text1[0]->text(), m_text1[1]->text()});
    } catch (const RuntimeError& error) {
        // What the user typed is still in the boxes; say so and keep running.
        m_services.messages.show(error.description());
    }
}

void MainFrm::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closed behind the box that ends the program: it ends as that box would.
    m_services.end.endNow(m_services.end.endingExitCode());
}

bool MainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another window or opening a menu is no loss of focus
        // within the window.
        const bool lostFocus = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
        if (lostFocus && (watched == m_text1[0] || watched == m_text1[1]))
            runGuarded([this] { Text1_LostFocus(); });
        else if (lostFocus && watched == m_text2)
            runGuarded([this] { m_schedule->apply(m_text2->text(), false); });
    } else if (event->type() == QEvent::MouseButtonRelease && watched == m_label3) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_label3->rect().contains(mouse->position().toPoint()))
            runGuarded([this] { m_schedule->scanNow(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace velkoria
