#include "app/handler.h"
#include "app/mainfrm.h"
#include "app/monitorwiring.h"
#include "app/windowfit.h"
#include "platform/errors.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/fakeend.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"
#include "ui/messagebox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

namespace {
const char* kButtons = "web_site,it ,ホームページ制作\r\n"
                       ", ,\r\n"
                       "logo_design,design ,ロゴ制作\r\n"
                       ",x,Web\r\n"
                       "a,b,c,d\r\n"
                       "p,q,r,s,t\r\n"
                       "u,v,w,x,y,z\r\n";

// The desktop's notifications: each one's click, to be clicked by the test.
class FakeNotifier : public Notifier {
public:
    void notify(const QString&, const QString&, std::function<void()> clicked) override { clicks.append(clicked); }
    QList<std::function<void()>> clicks;
};

// One main window over fakes, in a temp program folder.
struct Harness {
    TempProgramFolder folder;
    FakeMessageSink messages;
    FakeProgramEnd end;
    FakeShell shell;
    FakeClock clock;
    FakeBrowser* browser = nullptr;
    FakeNotifier* notifier = nullptr;
    std::unique_ptr<MainFrm> window;

    Harness();
    template <typename T> T* find(const QString& name) { return window->findChild<T*>(name); }
    QStringList files() const { return QDir(folder.path()).entryList(QDir::Files); }
};
} // namespace

Harness::Harness() {
    window = std::make_unique<MainFrm>(MainServices{messages, end, shell, clock,
                                                    [this] {
                                                        auto b = std::make_unique<FakeBrowser>();
                                                        browser = b.get();
                                                        return b;
                                                    },
                                                    [this](QSystemTrayIcon&, std::function<void()>) {
                                                        auto n = std::make_unique<FakeNotifier>();
                                                        notifier = n.get();
                                                        return n;
                                                    }});
}

class MainFrmTest : public QObject {
    Q_OBJECT
private slots:
    void startUpLoadsTheFilesAndHidesTheBrowser();
    void layoutFollowsTheDesign();
    void tabOrder();
    void freshInstallStartsWithoutWriting();
    void longCategoryFileIsCutAt200WithOneNotice();
    void aBadMailSettingStopsTheChannelsNotTheProgram();
    void leavingAnAccountBoxSavesEachTime();
    void failedAccountSaveKeepsRunning();
    void exitAndCloseEndAtOnce();
    void helpOpensTheManual();
    void editButtonReusesOneEditor();
    void quickButtonPostsTheSlotsSearch();
    void cycleAndIndicators();
    void captionsFitAndStayOffFrameLines();
    void longAccountValuesAreKeptWhole();
    void closedBrowserOrErrorEndsTheProgram_data();
    void closedBrowserOrErrorEndsTheProgram();
    void anActionWhileOtherWorkRuns_data();
    void anActionWhileOtherWorkRuns();
    void waitingActionsRunInTheOrderGivenOnce();
    void messageBoxIsPlain();
    void scanLabelToolTipTellsTheLatestRun();
    void windowFitsTheScreen_data();
    void windowFitsTheScreen();
};

void MainFrmTest::startUpLoadsTheFilesAndHidesTheBrowser() {
    Harness h;
    h.folder.writeCp932(u"button_info.txt"_qs, QString::fromUtf8(kButtons));
    h.folder.writeCp932(u"category.txt"_qs, u"web_site,it,ホームページ制作\r\nprinting,print,印刷\r\n"_qs);
    h.folder.writeCp932(u"zandorp_id.txt"_qs, u" me, \"x\" \r\npa ss\r\nthird\r\n"_qs);
    h.window->formLoad();

    const QStringList captions{
        u"ホームページ制作"_qs, QString(), u"ロゴ制作"_qs, u"Web"_qs, u"cd"_qs, u"rst"_qs, u"w"_qs};
    for (int n = 1; n <= 7; ++n) {
        auto* b = h.find<QPushButton>(u"Command1_%1"_qs.arg(n));
        QCOMPARE(b->text(), captions.at(n - 1));
        QCOMPARE(!b->isHidden(), n != 2 && n != 4);
    }
    QCOMPARE(h.window->category().categorycount(), 2);
    QCOMPARE(h.find<QLineEdit>(u"Text1_0"_qs)->text(), u" me, \"x\" "_qs);
    QCOMPARE(h.find<QLineEdit>(u"Text1_1"_qs)->text(), u"pa ss"_qs);
    QCOMPARE(h.browser->calls, (QStringList{u"visible 0"_qs, u"top 0"_qs}));
    QCOMPARE(h.window->pos(), QPoint(0, 0));
    QVERIFY(h.find<QRadioButton>(u"Option1_0"_qs)->isChecked());
    QCOMPARE(h.find<QLineEdit>(u"Text2"_qs)->text(), u"0"_qs);
    QVERIFY(!h.find<QLabel>(u"Label2"_qs)->isHidden());
    QVERIFY(h.find<QLabel>(u"Label3"_qs)->text().isEmpty());
    QVERIFY(!h.find<QTimer>(u"Timer1"_qs)->isActive());
    QCOMPARE(h.find<QTimer>(u"Timer2"_qs)->interval(), 1000);
    QVERIFY(!h.find<QTimer>(u"Timer2"_qs)->isActive());
    QVERIFY(h.messages.texts.isEmpty());
}

void MainFrmTest::aBadMailSettingStopsTheChannelsNotTheProgram() {
    Harness h;
    // A certificate file removed since it was set.
    h.folder.write(u"velkoria.ini"_qs, "[webhook]\nurl=https://h/\nca_file=/nonexistent/ca.pem\n");
    h.window->formLoad();
    QCOMPARE(h.messages.texts.size(), 1);
    QVERIFY2(h.messages.texts.first().contains(u"ca_file"_qs) &&
                 h.messages.texts.first().endsWith(remoteSettingsBrokenNotice()),
             qPrintable(h.messages.texts.first()));
    QVERIFY(!h.window->remoteNotices()->webhookOutbox());
}

void MainFrmTest::layoutFollowsTheDesign() {
    Harness h;
    h.window->formLoad();
    h.window->show();
    QCOMPARE(h.find<QWidget>(u"client"_qs)->size(), QSize(200, 694));
    // The window shows it whole where the screen has the room (Qt's minimal
    // platform has a small one).
    if (h.window->screen()->availableGeometry().height() >= 720)
        QCOMPARE(h.window->centralWidget()->size(), QSize(200, 694));
    QCOMPARE(h.window->windowTitle(), u"Velkoria"_qs);
    // twips / 15, relative to the container
    QCOMPARE(h.find<QPushButton>(u"my_bussines"_qs)->geometry(), QRect(8, 16, 185, 33));
    QCOMPARE(h.find<QWidget>(u"Frame1"_qs)->geometry(), QRect(8, 56, 185, 73));
    QCOMPARE(h.find<QLineEdit>(u"Text1_1"_qs)->geometry(), QRect(64, 48, 113, 18));
    QCOMPARE(h.find<QPushButton>(u"Command2"_qs)->geometry(), QRect(8, 136, 185, 33));
    QCOMPARE(h.find<QWidget>(u"frami3"_qs)->geometry(), QRect(8, 200, 185, 481));
    QCOMPARE(h.find<QPushButton>(u"Command1_7"_qs)->geometry(), QRect(16, 208, 153, 25));
    QCOMPARE(h.find<QWidget>(u"Frame2"_qs)->geometry(), QRect(32, 240, 121, 105));
    QCOMPARE(h.find<QRadioButton>(u"Option1_2"_qs)->geometry(), QRect(8, 72, 97, 17));
    QCOMPARE(h.find<QPushButton>(u"edit_button"_qs)->geometry(), QRect(8, 352, 169, 33));
    QCOMPARE(h.find<QLineEdit>(u"Text2"_qs)->geometry(), QRect(88, 16, 33, 25));
    QCOMPARE(h.find<QLabel>(u"Label3"_qs)->geometry(), QRect(16, 48, 129, 25));
    QCOMPARE(h.find<QLineEdit>(u"Text1_1"_qs)->echoMode(), QLineEdit::Password);
    QVERIFY(!h.find<QLineEdit>(u"Text1_1"_qs)->testAttribute(Qt::WA_InputMethodEnabled));
    QVERIFY(h.find<QLineEdit>(u"Text2"_qs)->font().bold());
    QCOMPARE(h.find<QLineEdit>(u"Text2"_qs)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    // Frames and options on the window's white; the scan label on button face.
    for (const char* name : {"client", "Frame1", "frami3", "Frame2", "Frame3", "Option1_0", "Option1_2"}) {
        auto* w = h.find<QWidget>(QString::fromLatin1(name));
        QVERIFY2(w->autoFillBackground() && w->palette().color(w->backgroundRole()) == QColor(255, 255, 255), name);
    }
    QCOMPARE(h.find<QLabel>(u"Label3"_qs)->palette().color(QPalette::Window), QColor(240, 240, 240));
    // The coloured buttons keep their colour with the focus, which shows as a
    // dotted rectangle inside (every other pixel dark along its top).
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    for (const auto& [name, colour] :
         {std::pair{"my_bussines", QColor(255, 255, 192)}, {"Command2", QColor(240, 255, 240)}}) {
        auto* button = h.find<QPushButton>(QString::fromLatin1(name));
        button->setFocus(Qt::TabFocusReason);
        const QImage image = button->grab().toImage();
        QCOMPARE(image.pixelColor(8, image.height() / 2), colour);
        int dark = 0;
        for (int x = 8; x < 28; ++x)
            dark += image.pixelColor(x, 4).lightness() < 128;
        QVERIFY2(dark == 10, name);
    }
    // Resizing moves nothing.
    h.window->resize(400, 900);
    QCOMPARE(h.find<QPushButton>(u"Command1_7"_qs)->geometry(), QRect(16, 208, 153, 25));
}

void MainFrmTest::tabOrder() {
    Harness h;
    h.folder.writeCp932(u"button_info.txt"_qs, u"a,b,1\r\na,b,2\r\na,b,3\r\na,b,4\r\na,b,5\r\na,b,6\r\na,b,7\r\n"_qs);
    h.window->formLoad();
    h.window->show();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(), u"my_bussines"_qs);
    const auto tabChain = [&] {
        QStringList order;
        QWidget* w = h.find<QWidget>(u"my_bussines"_qs);
        for (int i = 0; i < 15; ++i) {
            order.append(w->objectName());
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
        }
        return order;
    };
    const auto expected = [](const QString& option) {
        return QStringList{u"my_bussines"_qs, u"Text1_0"_qs,    u"Text1_1"_qs,     u"Command2"_qs,   u"Command1_7"_qs,
                           u"Command1_6"_qs,  u"Command1_5"_qs, u"Command1_4"_qs,  u"Command1_3"_qs, u"Command1_2"_qs,
                           u"Command1_1"_qs,  option,           u"edit_button"_qs, u"Text2"_qs,      u"my_bussines"_qs};
    };
    // The sort options are one stop, on the selected option.
    QCOMPARE(tabChain(), expected(u"Option1_0"_qs));
    // The arrow keys move the selection, and the stop goes with it.
    auto* option0 = h.find<QRadioButton>(u"Option1_0"_qs);
    auto* option1 = h.find<QRadioButton>(u"Option1_1"_qs);
    auto* option2 = h.find<QRadioButton>(u"Option1_2"_qs);
    option0->setFocus(Qt::TabFocusReason);
    QTest::keyClick(option0, Qt::Key_Down);
    QVERIFY(option1->isChecked() && option1->hasFocus());
    QTest::keyClick(option1, Qt::Key_Down);
    QVERIFY(option2->isChecked() && option2->hasFocus());
    QCOMPARE(tabChain(), expected(u"Option1_2"_qs));
    QTest::keyClick(option2, Qt::Key_Up);
    QVERIFY(option1->isChecked());
    // A click selects too.
    QTest::mouseClick(option0, Qt::LeftButton);
    QVERIFY(option0->isChecked());
    QCOMPARE(tabChain(), expected(u"Option1_0"_qs));
    // Enter presses the button that has the focus, as Space does.
    auto* edit = h.find<QPushButton>(u"edit_button"_qs);
    edit->setFocus(Qt::TabFocusReason);
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(h.window->editor() && h.window->editor()->isVisible());
    h.window->editor()->close();
}

void MainFrmTest::freshInstallStartsWithoutWriting() {
    Harness h;
    h.window->formLoad();
    for (int n = 1; n <= 7; ++n)
        QVERIFY(h.find<QPushButton>(u"Command1_%1"_qs.arg(n))->isHidden());
    QVERIFY(h.find<QLineEdit>(u"Text1_0"_qs)->text().isEmpty());
    QVERIFY(h.find<QLineEdit>(u"Text1_1"_qs)->text().isEmpty());
    QCOMPARE(h.window->category().categorycount(), 0);
    QVERIFY(h.files().isEmpty());
}

void MainFrmTest::longCategoryFileIsCutAt200WithOneNotice() {
    Harness h;
    QString text;
    for (int i = 1; i <= 203; ++i)
        text += u"k%1,s,カテゴリ%1\r\n"_qs.arg(i);
    h.folder.writeCp932(u"category.txt"_qs, text);
    h.window->formLoad();
    QCOMPARE(h.window->category().categorycount(), 200);
    QCOMPARE(h.window->category().row(200).caption, u"カテゴリ200"_qs);
    QCOMPARE(h.messages.texts.size(), 1);
    QVERIFY(h.messages.texts.at(0).contains(u"category.txt"_qs));
    QVERIFY(h.messages.texts.at(0).contains(u"3"_qs));
}

void MainFrmTest::leavingAnAccountBoxSavesEachTime() {
    Harness h;
    h.window->formLoad();
    h.window->show();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    auto* id = h.find<QLineEdit>(u"Text1_0"_qs);
    auto* pass = h.find<QLineEdit>(u"Text1_1"_qs);
    id->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(id, u"a,b "_qs);
    QVERIFY(!h.folder.exists(u"zandorp_id.txt"_qs)); // typing alone writes nothing
    pass->setFocus(Qt::TabFocusReason);
    QCOMPARE(h.folder.read(u"zandorp_id.txt"_qs), QByteArray("a,b \r\n\r\n"));
    QFile::remove(h.folder.file(u"zandorp_id.txt"_qs));
    // Leaving the password box writes again, even without a change.
    h.find<QPushButton>(u"my_bussines"_qs)->setFocus(Qt::TabFocusReason);
    QCOMPARE(h.folder.read(u"zandorp_id.txt"_qs), QByteArray("a,b \r\n\r\n"));
    QVERIFY(!accessListsKept() || !othersMayRead(h.folder.file(u"zandorp_id.txt"_qs)));
}

void MainFrmTest::failedAccountSaveKeepsRunning() {
    Harness h;
    h.folder.write(u"zandorp_id.txt"_qs, "old\r\npw\r\n");
    h.window->formLoad();
    h.find<QLineEdit>(u"Text1_0"_qs)->setText(u"new"_qs);
    {
        DiskFull full;
        h.window->Text1_LostFocus();
    }
    QCOMPARE(h.messages.texts.size(), 1);
    QVERIFY(h.messages.texts.at(0).contains(u"zandorp_id.txt"_qs));
    QVERIFY(!h.end.ended);
    QCOMPARE(h.folder.read(u"zandorp_id.txt"_qs), QByteArray("old\r\npw\r\n"));
    // A password character that Shift_JIS cannot hold: named by the file, never shown.
    h.find<QLineEdit>(u"Text1_1"_qs)->setText(u"pw\U0001F600"_qs);
    h.window->Text1_LostFocus();
    QCOMPARE(h.messages.texts.size(), 2);
    QVERIFY(!h.messages.texts.at(1).contains(u"pw"_qs));
    QVERIFY(!h.end.ended);
}

void MainFrmTest::exitAndCloseEndAtOnce() {
    Harness h;
    h.window->formLoad();
    QVERIFY_THROWS_EXCEPTION(ProgramEnded, h.window->Command2_Click());
    QCOMPARE(h.end.code, 0);
    QVERIFY(h.files().isEmpty()); // nothing saved on the way out
    Harness h2;
    h2.window->formLoad();
    QCloseEvent close;
    QVERIFY_THROWS_EXCEPTION(ProgramEnded, QApplication::sendEvent(h2.window.get(), &close));
    QVERIFY(h2.files().isEmpty());
}

void MainFrmTest::helpOpensTheManual() {
    Harness h;
    h.window->formLoad();
    h.window->whelp_Click(); // no manual in the folder: a message names it
    QCOMPARE(h.messages.texts.size(), 1);
    QVERIFY(h.messages.texts.at(0).contains(u"Velkoria.pdf"_qs));
    QVERIFY(!h.end.ended);
    h.folder.write(u"Velkoria.pdf"_qs, "%PDF-1.4\n");
    h.window->whelp_Click();
    QCOMPARE(h.shell.opened, QStringList{h.folder.file(u"Velkoria.pdf"_qs)});
}

void MainFrmTest::editButtonReusesOneEditor() {
    Harness h;
    h.window->formLoad();
    h.window->edit_button_Click();
    QPointer<QWidget> first = h.window->editor();
    QVERIFY(first && first->isVisible());
    first->hide();
    h.window->edit_button_Click();
    QCOMPARE(h.window->editor(), first.data());
    QVERIFY(first->isVisible());
    first->close(); // the close box discards it
    QTRY_VERIFY(!first);
    h.window->edit_button_Click();
    QVERIFY(h.window->editor());
    h.window->editor()->close();
}

void MainFrmTest::quickButtonPostsTheSlotsSearch() {
    Harness h;
    h.folder.writeCp932(u"button_info.txt"_qs, QString::fromUtf8(kButtons));
    h.window->formLoad();
    h.find<QRadioButton>(u"Option1_1"_qs)->setChecked(true);
    h.window->Command1_Click(3);
    QCOMPARE(h.browser->navigations.size(), 1);
    QVERIFY(h.browser->navigations.at(0).body.contains("&key=logo_design&condition=present&sort_type=limited&"));
    QVERIFY(h.browser->visible);
    // An unbound slot still posts its (empty) key.
    h.window->Command1_Click(2);
    QVERIFY(h.browser->navigations.at(1).body.contains("&key=&condition=present"));
}

void MainFrmTest::cycleAndIndicators() {
    Harness h;
    h.window->formLoad();
    h.browser->visible = true;
    auto* text2 = h.find<QLineEdit>(u"Text2"_qs);
    text2->setText(u"1"_qs);
    QVERIFY(h.find<QTimer>(u"Timer1"_qs)->isActive());
    QCOMPARE(h.find<QTimer>(u"Timer1"_qs)->interval(), 30000);
    QVERIFY(h.find<QTimer>(u"Timer2"_qs)->isActive());
    QVERIFY(!h.browser->visible); // a typed cycle hides the browser
    text2->setText(u"0"_qs);
    QVERIFY(!h.find<QTimer>(u"Timer1"_qs)->isActive());
    QVERIFY(!h.find<QLabel>(u"Label2"_qs)->isHidden());

    h.window->monitor()->setScanning(true);
    QCOMPARE(text2->palette().color(QPalette::Base), QColor(2, 255, 0));
    QCOMPARE(h.find<QLabel>(u"Label3"_qs)->text(), u"スキャン中"_qs);
    h.window->monitor()->setScanning(false);
    QCOMPARE(text2->palette().color(QPalette::Base), QColor(255, 255, 255));
    QVERIFY(h.find<QLabel>(u"Label3"_qs)->text().isEmpty());

    // A run's notice (boxes off) rests on Label3, cut to its width, whole in its tooltip.
    auto* label3 = h.find<QLabel>(u"Label3"_qs);
    const QString notice = u"リアルタイム検査: 「翻訳・通訳」のページを 3 回続けて\n読み込めませんでした。"_qs;
    h.window->monitor()->showNotice(notice);
    h.window->monitor()->setScanning(false);
    QVERIFY2(label3->text().endsWith(u'…') &&
                 label3->fontMetrics().horizontalAdvance(label3->text()) <= label3->width(),
             qPrintable(label3->text()));
    QVERIFY(label3->toolTip().startsWith(notice));
    h.window->monitor()->showNotice({});
    h.window->monitor()->setScanning(false);
    QVERIFY(label3->text().isEmpty() && !label3->toolTip().contains(notice));
}

void MainFrmTest::captionsFitAndStayOffFrameLines() {
    Harness h;
    h.folder.writeCp932(u"button_info.txt"_qs, u"a,b,ホームページ制作\r\n"_qs.repeated(7));
    h.window->formLoad();
    h.window->show();
    h.window->edit_button_Click();
    QWidget* editor = h.window->editor();
    for (QWidget* window : {static_cast<QWidget*>(h.window.get()), editor}) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const QString name = w->objectName();
            const QFontMetrics metrics(w->font());
            int textWidth = -1;
            int room = w->width();
            if (auto* label = qobject_cast<QLabel*>(w)) {
                textWidth = metrics.horizontalAdvance(label->text());
                room = label->contentsRect().width();
            } else if (auto* option = qobject_cast<QRadioButton*>(w)) {
                QStyleOptionButton style;
                style.initFrom(option);
                textWidth = metrics.horizontalAdvance(option->text());
                room = option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style, option).width();
            } else if (auto* button = qobject_cast<QPushButton*>(w)) {
                textWidth = metrics.horizontalAdvance(button->text()) + 4; // a margin each side
            } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
                textWidth = metrics.horizontalAdvance(frame->title());
                // The frame's line runs through the caption: every control inside
                // lies below it and within the frame.
                const int line = metrics.height() / 2;
                for (QWidget* inside : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    const QRect g = inside->geometry();
                    QVERIFY2(g.top() > line + 1 && g.bottom() < frame->height() - 2 && g.right() < frame->width() - 2,
                             qPrintable(inside->objectName() + u" crosses the line of "_qs + name));
                }
            }
            if (textWidth >= 0)
                QVERIFY2(textWidth <= room, qPrintable(u"%1: %2 > %3"_qs.arg(name).arg(textWidth).arg(room)));
        }
    }
    // Labels draw their text at their top, as Windows does; the scan label centres
    // it from left to right.
    h.find<QLabel>(u"Label3"_qs)->setText(u"スキャン中"_qs);
    for (QWidget* window : {static_cast<QWidget*>(h.window.get()), editor}) {
        for (QLabel* label : window->findChildren<QLabel*>()) {
            const QImage image = label->grab().toImage();
            QRect ink;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixelColor(x, y).lightness() < 128)
                        ink |= QRect(x, y, 1, 1);
            QVERIFY2(ink.top() <= 3, qPrintable(label->objectName()));
            if (label->objectName() == u"Label3")
                QVERIFY(qAbs(ink.left() - (image.width() - 1 - ink.right())) <= 2);
        }
    }
    // The window can be made smaller than its design; the controls stay.
    h.window->resize(120, 300);
    QTRY_COMPARE(h.window->width(), 120);
    QCOMPARE(h.find<QPushButton>(u"Command1_7"_qs)->geometry(), QRect(16, 208, 153, 25));
    editor->close();
}

void MainFrmTest::longAccountValuesAreKeptWhole() {
    Harness h;
    const QString id = QString(40000, u'i');
    const QString password = QString(33000, u'p');
    h.folder.writeCp932(u"zandorp_id.txt"_qs, id + u"\r\n"_qs + password + u"\r\n"_qs);
    h.window->formLoad();
    QCOMPARE(h.find<QLineEdit>(u"Text1_0"_qs)->text(), id);
    QCOMPARE(h.find<QLineEdit>(u"Text1_1"_qs)->text(), password);
    h.window->Text1_LostFocus();
    QCOMPARE(h.folder.read(u"zandorp_id.txt"_qs), cp932(id + u"\r\n"_qs + password + u"\r\n"_qs));
}

void MainFrmTest::closedBrowserOrErrorEndsTheProgram_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("when"); // FakeBrowser::close(when); "error": the browser stops answering
    QTest::addColumn<int>("exitCode");
    QTest::newRow("quick button, closed before") << u"quick button"_qs << QString() << 0;
    QTest::newRow("quick button, closed while loading") << u"quick button"_qs << u"load"_qs << 0;
    QTest::newRow("My Business") << u"My Business"_qs << QString() << 0;
    QTest::newRow("Help shown in the browser") << u"Help"_qs << QString() << 0;
    QTest::newRow("scan, before the run") << u"scan"_qs << QString() << 0;
    QTest::newRow("scan, at the navigation") << u"scan"_qs << u"navigate"_qs << 0;
    QTest::newRow("scan, while loading") << u"scan"_qs << u"load"_qs << 0;
    QTest::newRow("scan, at the page read") << u"scan"_qs << u"html"_qs << 0;
    QTest::newRow("cycle typed") << u"cycle"_qs << QString() << 0;
    QTest::newRow("error box") << u"quick button"_qs << u"error"_qs << 1;
    QTest::newRow("browser fails its start, window shown") << u"start"_qs << QString() << 1;
}

void MainFrmTest::closedBrowserOrErrorEndsTheProgram() {
    QFETCH(QString, action);
    QFETCH(QString, when);
    QFETCH(int, exitCode);
    Harness h;
    h.folder.writeCp932(u"button_info.txt"_qs, u"k,s,A\r\n"_qs.repeated(7));
    h.folder.write(u"new_item.txt"_qs, "old\r\n");
    h.folder.write(u"Velkoria.pdf"_qs, "%PDF-1.4\n");
    h.shell.result = false; // no PDF application: Help shows the manual in the browser
    h.window->formLoad();
    h.window->show();
    auto* timer1 = h.find<QTimer>(u"Timer1"_qs);
    auto* timer2 = h.find<QTimer>(u"Timer2"_qs);
    auto* text2 = h.find<QLineEdit>(u"Text2"_qs);
    text2->setText(u"0.001"_qs); // a scan on every tick
    QVERIFY(timer1->isActive() && timer2->isActive());

    bool timersRanDuringTheBox = true;
    qsizetype navigationsDuringTheBox = -1;
    h.messages.onShow = [&](const QString&) {
        timersRanDuringTheBox = timer1->isActive() || timer2->isActive();
        // A tick, a scan click and a quick-button click that reach the window
        // behind the box are refused.
        const qsizetype navigations = h.browser->navigations.size();
        QMetaObject::invokeMethod(timer1, "timeout");
        QMetaObject::invokeMethod(timer2, "timeout");
        h.find<QPushButton>(u"Command1_1"_qs)->click();
        QTest::mouseClick(h.find<QLabel>(u"Label3"_qs), Qt::LeftButton);
        navigationsDuringTheBox = h.browser->navigations.size() - navigations;
        // Closing the window behind the box ends the program as the box would.
        h.window->close();
    };
    if (when == u"error"_qs)
        h.browser->pageFor = [](const FakeBrowser::Navigation&) { return FakeBrowser::Page{{}, false, false, true}; };
    else if (action != u"start"_qs)
        h.browser->close(when);
    const auto act = [&] {
        if (action == u"quick button"_qs)
            h.find<QPushButton>(u"Command1_2"_qs)->click();
        else if (action == u"My Business"_qs)
            h.find<QPushButton>(u"my_bussines"_qs)->click();
        else if (action == u"Help"_qs)
            h.window->findChild<QAction*>(u"whelp"_qs)->trigger();
        else if (action == u"scan"_qs)
            QTest::mouseClick(h.find<QLabel>(u"Label3"_qs), Qt::LeftButton);
        else if (action == u"start"_qs)
            h.browser->failStart(BrowserStartError(BrowserError::Kind::StartFailed, u"chrome"_qs));
        else
            text2->setText(u"5"_qs);
    };
    QVERIFY_THROWS_EXCEPTION(ProgramEnded, act());

    QCOMPARE(h.end.code, exitCode);
    QCOMPARE(h.messages.texts.size(), 1);
    if (exitCode == 0)
        QCOMPARE(h.messages.texts.first(), closedBrowserMessage());
    else
        QVERIFY(h.messages.texts.first().startsWith(action == u"start"_qs ? u"実行時エラー '429'"_qs
                                                                          : u"実行時エラー '440'"_qs));
    QVERIFY(!timersRanDuringTheBox);
    QCOMPARE(navigationsDuringTheBox, 0);
    QCOMPARE(h.folder.read(u"new_item.txt"_qs), QByteArray("old\r\n")); // nothing announced or written
}

namespace {
// One user action for the table: what the user does, how much of what it does
// has happened (a count, or 0 and 1), and what it needs first.
struct UserDoes {
    std::function<void(Harness&)> act;
    std::function<int(Harness&)> done;
    std::function<void(Harness&)> before = {};
};

qsizetype navigationsWith(Harness& h, const char* text) {
    return std::count_if(h.browser->navigations.cbegin(), h.browser->navigations.cend(),
                         [text](const FakeBrowser::Navigation& n) {
                             return n.url.contains(QLatin1String(text)) || n.body.contains(text);
                         });
}

QAction* trayItem(Harness& h, const QString& text) {
    for (QAction* a : h.find<QSystemTrayIcon>(u"tray"_qs)->contextMenu()->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void leave(QWidget* box) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &out);
}

const QMap<QString, UserDoes>& userActions() {
    const auto scans = [](Harness& h) { return int(navigationsWith(h, "key=k7&")); };
    const auto requestsOpened = [](Harness& h) { return int(navigationsWith(h, "/browse/request/")); };
    static const QMap<QString, UserDoes> actions{
        {u"quick button"_qs,
         {[](Harness& h) { h.find<QPushButton>(u"Command1_3"_qs)->click(); },
          [](Harness& h) { return int(navigationsWith(h, "key=k3&")); }}},
        {u"My Business"_qs,
         {[](Harness& h) { h.find<QPushButton>(u"my_bussines"_qs)->click(); },
          [](Harness& h) { return int(navigationsWith(h, "email=")); }}},
        {u"Help"_qs,
         {[](Harness& h) { h.window->findChild<QAction*>(u"whelp"_qs)->trigger(); },
          [](Harness& h) { return int(h.shell.opened.size()); }}},
        {u"Edit"_qs,
         {[](Harness& h) { h.find<QPushButton>(u"edit_button"_qs)->click(); },
          [](Harness& h) { return int(h.window->editor()->isVisible()); },
          [](Harness& h) { h.window->editor()->hide(); }}},
        {u"editor Save"_qs,
         {[](Harness& h) { h.window->editor()->findChild<QPushButton*>(u"Command1"_qs)->click(); },
          [](Harness& h) { return int(h.folder.read(u"button_info.txt"_qs) != "unsaved"); }}},
        {u"editor close box"_qs,
         {[](Harness& h) { h.window->editor()->close(); },
          [](Harness& h) { return int(!h.window->editor() || h.window->editor()->discarded()); }}},
        {u"scan label"_qs,
         {[](Harness& h) { QTest::mouseClick(h.find<QLabel>(u"Label3"_qs), Qt::LeftButton); }, scans}},
        {u"tray scan now"_qs, {[](Harness& h) { trayItem(h, u"今すぐ検査"_qs)->trigger(); }, scans}},
        {u"notification"_qs, {[](Harness& h) { h.notifier->clicks.last()(); }, requestsOpened}},
        {u"sort option"_qs,
         {[](Harness& h) { h.find<QRadioButton>(u"Option1_2"_qs)->click(); },
          [](Harness& h) { return int(h.window->currentSortType() == u"bidding"_qs); }}},
        {u"cycle typed"_qs,
         {[](Harness& h) { h.find<QLineEdit>(u"Text2"_qs)->setText(u"2"_qs); },
          [](Harness& h) { return int(h.window->schedule()->cyclelimit() == 4); }}},
        {u"cycle left"_qs,
         {[](Harness& h) {
              auto* text2 = h.find<QLineEdit>(u"Text2"_qs);
              const QSignalBlocker quiet(text2);
              text2->setText(u"3"_qs);
              leave(text2);
          },
          [](Harness& h) { return int(h.window->schedule()->cyclelimit() == 6); }}},
        {u"schedule tick"_qs,
         {[](Harness& h) { QMetaObject::invokeMethod(h.find<QTimer>(u"Timer1"_qs), "timeout"); },
          [](Harness& h) { return int(h.window->schedule()->cyclecount()); }}},
        {u"blink"_qs,
         {[](Harness& h) { QMetaObject::invokeMethod(h.find<QTimer>(u"Timer2"_qs), "timeout"); },
          [](Harness& h) { return int(h.find<QLabel>(u"Label2"_qs)->isHidden()); }}},
        {u"account box left"_qs,
         {[](Harness& h) { leave(h.find<QLineEdit>(u"Text1_0"_qs)); },
          [](Harness& h) { return int(h.folder.exists(u"zandorp_id.txt"_qs)); }}},
        {u"tray show window"_qs,
         {[](Harness& h) { trayItem(h, u"メインウィンドウを表示"_qs)->trigger(); },
          [](Harness& h) { return int(h.window->isVisible()); }}},
        {u"tray day list"_qs,
         {[](Harness& h) { trayItem(h, u"本日の新規案件"_qs)->trigger(); },
          [](Harness&) {
              for (QWidget* w : QApplication::topLevelWidgets())
                  if (w->objectName() == u"announcelist"_qs && w->isVisible()) // the request's title shown
                      return int(
                          w->findChild<QTreeWidget*>(u"list"_qs)->topLevelItem(0)->text(3).startsWith(u"金型 "_qs));
              return 0;
          }}},
        {u"tray Exit"_qs,
         {[](Harness& h) { trayItem(h, u"終了"_qs)->trigger(); }, [](Harness& h) { return int(h.end.ended); }}},
        {u"notify settings"_qs,
         {[](Harness& h) { h.window->findChild<QAction*>(u"wnotify"_qs)->trigger(); },
          [](Harness& h) { return int(h.window->notifyfrm() && h.window->notifyfrm()->isVisible()); }}},
        // The mail not getting through, told by the sending beside the run.
        {u"mail report"_qs,
         {[](Harness& h) { emit h.window->remoteNotices()->report(u"メールが届きません"_qs); },
          [](Harness& h) { return int(h.messages.texts.count(u"メールが届きません"_qs)); }}},
        {u"close box"_qs,
         {[](Harness& h) {
              QCloseEvent close;
              QApplication::sendEvent(h.window.get(), &close);
          },
          [](Harness& h) { return int(h.end.ended); }}},
    };
    return actions;
}

// Slot n bound to category key kn; the request page of slot 1 carries request
// `id` with the new icon, so that a scan announces it once.
void startForTheTable(Harness& h, const int& id) {
    QString buttons;
    for (int n = 1; n <= 7; ++n)
        buttons += u"k%1,s,C%1\r\n"_qs.arg(n);
    h.folder.writeCp932(u"button_info.txt"_qs, buttons);
    h.folder.writeCp932(u"category.txt"_qs, u"k9,s,C9\r\n"_qs);
    h.folder.write(u"Velkoria.pdf"_qs, "%PDF-1.4\n");
    h.window->formLoad();
    h.browser->pageFor = [&id](const FakeBrowser::Navigation& n) {
        return FakeBrowser::Page{
            n.body.contains("key=k1&")
                ? u"<A href=\"/browse/request/%1\">金型 %1</A><IMG src=\"/img/new.gif\">見積件数</FONT>"_qs.arg(id)
                : QString()};
    };
    // A scan has announced request 1 (its notification and the day's list),
    // the schedule counts without scanning, and the editor is open with the
    // file's lines replaced, to be seen rewritten.
    QTest::mouseClick(h.find<QLabel>(u"Label3"_qs), Qt::LeftButton);
    h.find<QLineEdit>(u"Text2"_qs)->setText(u"1000"_qs);
    h.find<QPushButton>(u"edit_button"_qs)->click();
    h.folder.write(u"button_info.txt"_qs, "unsaved");
    h.window->hide();
}
} // namespace

void MainFrmTest::anActionWhileOtherWorkRuns_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("during"); // nothing, a quick button's page wait, a scan's box
    QTest::addColumn<QString>("runs");   // "at once", "after" (once the work has ended, once), "dropped", ...
    // The table of the user's actions: what needs no browser and waits for
    // nothing runs at once; the end of the program waits for an open box;
    // everything else runs once the running work has ended; only the
    // schedule's own tick is dropped during a scan.
    const QList<std::tuple<QString, QString, QString>> table{
        {u"quick button"_qs, u"after"_qs, u"after"_qs},
        {u"My Business"_qs, u"after"_qs, u"after"_qs},
        {u"Help"_qs, u"after"_qs, u"after"_qs},
        {u"Edit"_qs, u"after"_qs, u"after"_qs},
        {u"editor Save"_qs, u"after"_qs, u"after"_qs},
        {u"editor close box"_qs, u"after"_qs, u"after"_qs},
        {u"scan label"_qs, u"after"_qs, u"after"_qs},
        {u"tray scan now"_qs, u"after"_qs, u"after"_qs},
        {u"notification"_qs, u"after"_qs, u"after"_qs},
        {u"sort option"_qs, u"after"_qs, u"after"_qs},
        {u"cycle typed"_qs, u"after"_qs, u"after"_qs},
        {u"cycle left"_qs, u"after"_qs, u"after"_qs},
        {u"schedule tick"_qs, u"after"_qs, u"dropped"_qs},
        {u"blink"_qs, u"at once"_qs, u"at once"_qs},
        {u"account box left"_qs, u"at once"_qs, u"at once"_qs},
        {u"tray show window"_qs, u"at once"_qs, u"at once"_qs},
        {u"tray day list"_qs, u"at once"_qs, u"at once"_qs},
        // Its own window, at once: a scan does not keep the user from mending the mail.
        {u"notify settings"_qs, u"at once"_qs, u"at once"_qs},
        // A box of its own never holds up a page wait.
        {u"mail report"_qs, u"after"_qs, u"after"_qs},
        {u"tray Exit"_qs, u"at once"_qs, u"after the box"_qs},
        {u"close box"_qs, u"at once"_qs, u"after the box"_qs},
    };
    for (const auto& [action, inWait, inBox] : table) {
        QTest::addRow("%s, idle", qPrintable(action)) << action << u"idle"_qs << u"at once"_qs;
        QTest::addRow("%s, page wait", qPrintable(action)) << action << u"wait"_qs << inWait;
        QTest::addRow("%s, box", qPrintable(action)) << action << u"box"_qs << inBox;
    }
}

void MainFrmTest::anActionWhileOtherWorkRuns() {
    QFETCH(QString, action);
    QFETCH(QString, during);
    QFETCH(QString, runs);
    const UserDoes does = userActions().value(action);
    QVERIFY(does.act);
    Harness h;
    int id = 1;
    startForTheTable(h, id);
    if (does.before)
        does.before(h);

    int before = 0;
    int inside = -1; // what it did by the time the event had been handled
    bool acting = false;
    bool endedActing = false;
    const auto doIt = [&] {
        before = does.done(h);
        acting = true;
        does.act(h);
        acting = false;
        inside = does.done(h) - before;
    };
    try {
        if (during == u"idle"_qs) {
            doIt();
        } else if (during == u"wait"_qs) {
            h.browser->onWait = [&] {
                h.browser->onWait = {};
                doIt();
            };
            h.find<QPushButton>(u"Command1_2"_qs)->click();
        } else {
            id = 2; // the scan announces a new request: its notification, then its box
            h.messages.onShow = [&](const QString&) {
                h.messages.onShow = {};
                doIt();
            };
            QTest::mouseClick(h.find<QLabel>(u"Label3"_qs), Qt::LeftButton);
        }
    } catch (const ProgramEnded&) {
        endedActing = acting;
    }
    const int afterwards = does.done(h) - before;
    if (runs == u"at once"_qs) {
        QVERIFY(inside > 0 || endedActing);
    } else if (runs == u"after the box"_qs) {
        QVERIFY(!endedActing && inside == 0);
        QVERIFY(h.end.ended);
        QCOMPARE(h.messages.texts.size(), 2); // the first scan's box and this one: no more
    } else if (runs == u"after"_qs) {
        QCOMPARE(inside, 0);
        QCOMPARE(afterwards, 1);
    } else {
        QCOMPARE(afterwards, 0);
    }
    QVERIFY(!QApplication::overrideCursor());
}

void MainFrmTest::waitingActionsRunInTheOrderGivenOnce() {
    Harness h;
    h.folder.writeCp932(u"button_info.txt"_qs, u"k1,s,A\r\nk2,s,B\r\nk3,s,C\r\n"_qs + u", ,\r\n"_qs.repeated(4));
    h.window->formLoad();
    h.window->show();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    auto* text2 = h.find<QLineEdit>(u"Text2"_qs);
    auto* quick2 = h.find<QPushButton>(u"Command1_2"_qs);
    auto* quick3 = h.find<QPushButton>(u"Command1_3"_qs);
    bool heardWhileWaiting = false;
    h.browser->onWait = [&] {
        h.browser->onWait = {};
        QTest::mouseClick(quick3, Qt::LeftButton);
        for (const QString& typed : {u"1"_qs, u"15"_qs})
            text2->setText(typed);
        QTest::mouseClick(h.find<QLabel>(u"Label3"_qs), Qt::LeftButton);
        QTest::mouseClick(quick2, Qt::LeftButton);
        QTest::mouseClick(quick3, Qt::LeftButton); // again: still once, in its first place
        QTest::mouseClick(h.find<QLabel>(u"Label3"_qs), Qt::LeftButton);
        h.find<QPushButton>(u"my_bussines"_qs)->setFocus(); // clicking elsewhere lets no held button up
        // The window shows that it has heard: the busy pointer, the buttons down.
        heardWhileWaiting = QApplication::overrideCursor() &&
                            QApplication::overrideCursor()->shape() == Qt::BusyCursor && quick3->isDown() &&
                            quick2->isDown();
        QCOMPARE(h.browser->navigations.size(), 1);
    };
    QTest::mouseClick(h.find<QPushButton>(u"Command1_1"_qs), Qt::LeftButton);
    QVERIFY(heardWhileWaiting);
    QStringList keys;
    for (const FakeBrowser::Navigation& n : h.browser->navigations)
        keys.append(QString::fromLatin1(n.body).section(u"key="_qs, 1).section(u'&', 0, 0));
    // k1; then k3, the cycle, one scan (k1 k2 k3), k2.
    QCOMPARE(keys, (QStringList{u"k1"_qs, u"k3"_qs, u"k1"_qs, u"k2"_qs, u"k3"_qs, u"k2"_qs}));
    QCOMPARE(h.window->schedule()->cyclelimit(), 30.0); // the last text, 15
    QVERIFY(!quick2->isDown() && !quick3->isDown());
    QVERIFY(!QApplication::overrideCursor());
}

void MainFrmTest::messageBoxIsPlain() {
    QtMessageSink sink;
    QString shownText;
    bool plain = false;
    bool noIcon = false;
    int width = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        shownText = box->text();
        plain = box->textFormat() == Qt::PlainText;
        const QList<QAbstractButton*> buttons = box->buttons();
        noIcon = box->icon() == QMessageBox::NoIcon && buttons.size() == 1 && buttons.first()->icon().isNull();
        width = box->width();
        box->accept();
    });
    sink.show(u"新規案件:<b>A</b>"_qs);
    QCOMPARE(shownText, u"新規案件:<b>A</b>"_qs);
    QVERIFY(plain);
    QVERIFY(noIcon);
    // Wide enough for a title bar with the whole caption.
    QVERIFY(width >= QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(programTitle()) + 100);
}

void MainFrmTest::scanLabelToolTipTellsTheLatestRun() {
    Harness h;
    h.window->formLoad();
    auto* label3 = h.find<QLabel>(u"Label3"_qs);
    QVERIFY(label3->toolTip().contains(u"すぐにスキャン"_qs));
    QVERIFY(label3->toolTip().contains(u"まだスキャンしていません"_qs));
    QTest::mouseClick(label3, Qt::LeftButton);
    QVERIFY(label3->toolTip().contains(u"すぐにスキャン"_qs));
    QVERIFY2(label3->toolTip().contains(u"前回のスキャン"_qs), qPrintable(label3->toolTip()));
}

void MainFrmTest::windowFitsTheScreen_data() {
    // The design: 200 x 714 with the menu bar; a frame of 8 + 31 / 8 + 8.
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected"); // frame position, window size
    QTest::newRow("1920 x 1080 at 100 %") << QRect(0, 0, 1920, 1040) << QRect(0, 0, 200, 714);
    QTest::newRow("exactly as high") << QRect(0, 0, 1280, 753) << QRect(0, 0, 200, 714);
    // A taskbar at the bottom: 1280 x 688 left; the scroll bar's room added.
    QTest::newRow("1920 x 1080 at 150 %") << QRect(0, 0, 1280, 688) << QRect(0, 0, 217, 649);
    QTest::newRow("taskbar at the top") << QRect(0, 40, 1280, 648) << QRect(0, 40, 217, 609);
    QTest::newRow("narrow and low") << QRect(0, 0, 150, 300) << QRect(0, 0, 134, 261);
}

void MainFrmTest::windowFitsTheScreen() {
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    const WindowFit fit = fitWindow(QSize(200, 714), QMargins(8, 31, 8, 8), 17, available);
    QCOMPARE(QRect(fit.position, fit.size), expected);
}

QTEST_MAIN(MainFrmTest)
#include "mainfrm_test.moc"
