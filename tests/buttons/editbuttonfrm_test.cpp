#include "app/handler.h"
#include "buttons/editbuttonfrm.h"
#include "tests/support/fakeend.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"

#include <QAbstractItemView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <optional>
#include <unistd.h>

using namespace velkoria;
using namespace velkoria::test;

namespace {
// The dialog's owner when nothing else runs: every click's handler at once.
EditorDispatch atOnce(MessageSink& messages, ProgramEnd& end) {
    return [&messages, &end](EditorAction, int, QAbstractButton*, const std::function<void()>& handler) {
        runHandler(messages, end, handler);
    };
}

// The category list the rows offer: entry j is row j + 1.
CategoryTable categoryList() {
    CategoryTable table;
    table.append({u"web_site"_qs, u"it"_qs, u"ホームページ制作"_qs});
    table.append({u"system_dev"_qs, u"it"_qs, u"システム開発"_qs});
    table.append({QString(), u"none"_qs, u"キーなし"_qs});
    table.append({u"kana"_qs, u"ｶﾅ"_qs, u"ﾃｽﾄｶﾃｺﾞﾘ"_qs});
    return table;
}

// Slots as start-up would have loaded them: the second columns carry the space
// that every save adds, slot 3 has a key but no caption, slots 4 and 6 were cleared.
ButtonInfo startSlots() {
    ButtonInfo b;
    b.slot(1) = {u"web_site"_qs, u"it "_qs, u"ホームページ制作"_qs};
    b.slot(2) = {u"logo"_qs, u"design "_qs, u"ロゴ作成"_qs};
    b.slot(3) = {u"printing"_qs, u"print "_qs, QString()};
    b.slot(4) = {QString(), u" "_qs, QString()};
    b.slot(5) = {u"translation"_qs, u"office "_qs, u"翻訳"_qs};
    b.slot(6) = {QString(), u" "_qs, QString()};
    b.slot(7) = {u"k7"_qs, u"s7"_qs, u"七"_qs};
    return b;
}

const QStringList kStartFileLines{u"web_site,it  ,ホームページ制作"_qs,
                                  u"logo,design  ,ロゴ作成"_qs,
                                  u"printing,print  ,"_qs,
                                  u",  ,"_qs,
                                  u"translation,office  ,翻訳"_qs,
                                  u",  ,"_qs,
                                  u"k7,s7 ,七"_qs};

// The file Save writes when nothing but slot 3 (a key without a caption) changes.
QStringList unchangedSaveLines() {
    return {u"web_site,it  ,ホームページ制作"_qs,
            u"logo,design  ,ロゴ作成"_qs,
            u", ,"_qs,
            u", ,"_qs,
            u"translation,office  ,翻訳"_qs,
            u", ,"_qs,
            u"k7,s7 ,七"_qs};
}

// One dialog with its tables, the main window's buttons and the program folder.
struct Editor {
    TempProgramFolder folder;
    ButtonInfo buttons = startSlots();
    CategoryTable categories = categoryList();
    FakeQuickButtons view;
    FakeMessageSink messages;
    FakeProgramEnd end;
    QPointer<EditButtonForm> dialog;

    Editor() {
        folder.write(buttonFileName(), cp932Lines(kStartFileLines));
        open();
    }
    ~Editor() { delete dialog; }

    // The Edit click of the main window.
    void open() {
        if (!dialog)
            dialog = new EditButtonForm(buttons, categories, view, messages, atOnce(messages, end));
        dialog->present();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }

    DropDownCombo* box(int i) const { return dialog->findChild<DropDownCombo*>(u"Combo1_%1"_qs.arg(i)); }
    QPushButton* button(const QString& name) const { return dialog->findChild<QPushButton*>(name); }

    void click(const QString& name) const {
        QPushButton* b = button(name);
        QVERIFY2(b, qPrintable(name));
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void clear(int i) const { click(u"Command3_%1"_qs.arg(i)); }
    void save() const { click(u"Command1"_qs); }
    void cancel() const { click(u"Command2"_qs); }

    // The user opens the list of row i and clicks entry j.
    void pick(int i, int j) const {
        DropDownCombo* b = box(i);
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Down, Qt::AltModifier);
        QAbstractItemView* list = b->view();
        QTRY_VERIFY(list->isVisible());
        const QRect item = list->visualRect(list->model()->index(j, 0));
        QTest::mouseMove(list->viewport(), item.center());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_VERIFY(!list->isVisible());
    }

    // The user types into row i with the list closed, key by key or, as Japanese
    // is usually typed, by committing the text from the input method.
    void type(int i, const QString& text, bool pressEnter, bool inputMethod = false) const {
        DropDownCombo* b = box(i);
        b->setFocus();
        b->lineEdit()->selectAll();
        if (inputMethod) {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QApplication::sendEvent(b, &commit);
        } else {
            for (const QChar c : text)
                QTest::sendKeyEvent(QTest::Click, b, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
        if (pressEnter)
            QTest::keyClick(b, Qt::Key_Return);
    }

    QStringList listOf(int i) const {
        QStringList entries;
        for (int j = 0; j < box(i)->count(); ++j)
            entries.append(box(i)->itemText(j));
        return entries;
    }
};

} // namespace

class EditButtonFrmTest : public QObject {
    Q_OBJECT
private slots:
    void firstShowingShowsTheSlots();
    void layoutAndTabOrder();
    void firstShowingMovesToTheTopOfTheScreen();
    void saveAtOnceClearsKeyWithoutCaption();
    void pickedEntryIsBound();
    void clearWritesAnEmptySlot();
    void pickThenClearEmptiesTheSlot();
    void typedTextIsNeverStored_data();
    void typedTextIsNeverStored();
    void arrowKeysPickFromTheClosedList();
    void cancelKeepsTheRowsForLater();
    void closeBoxDiscardsTheRows();
    void emptyCategoryList();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
};

void EditButtonFrmTest::firstShowingShowsTheSlots() {
    Editor e;
    const QStringList captions{
        u"ホームページ制作"_qs, u"ロゴ作成"_qs, QString(), QString(), u"翻訳"_qs, QString(), u"七"_qs};
    const QStringList entries{u"ホームページ制作"_qs, u"システム開発"_qs, u"キーなし"_qs, u"ﾃｽﾄｶﾃｺﾞﾘ"_qs};
    for (int i = 0; i < kButtonSlots; ++i) {
        QCOMPARE(e.dialog->findChild<QLabel*>(u"Label1_%1"_qs.arg(i))->text(), QString::number(i + 1));
        QCOMPARE(e.box(i)->currentText(), captions.at(i));
        // The caption of slot 1 equals an entry, yet nothing is selected.
        QCOMPARE(e.box(i)->listIndex(), -1);
        QCOMPARE(e.listOf(i), entries);
    }
    QCOMPARE(e.dialog->windowTitle(), u"クイックボタン編集"_qs);
    QCOMPARE(e.button(u"Command1"_qs)->text(), u"保存"_qs);
    QCOMPARE(e.button(u"Command2"_qs)->text(), u"キャンセル"_qs);
    QCOMPARE(e.button(u"Command3_6"_qs)->text(), u"クリア"_qs);
    // Showing changes nothing outside the dialog.
    QCOMPARE(e.view.calls, 0);
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(kStartFileLines));
}

void EditButtonFrmTest::layoutAndTabOrder() {
    Editor e;
    EditButtonForm* d = e.dialog;
    QVERIFY(d->isWindow());
    QVERIFY(!d->parentWidget());
    QCOMPARE(d->objectName(), u"editbuttonfrm"_qs);
    QCOMPARE(d->size(), QSize(466, 273));
    for (int i = 0; i < kButtonSlots; ++i) {
        const int top = 24 + 24 * i;
        QCOMPARE(d->findChild<QLabel*>(u"Label1_%1"_qs.arg(i))->geometry(), QRect(16, top, 33, 25));
        QCOMPARE(e.box(i)->geometry(), QRect(56, top, 345, 20));
        QCOMPARE(e.button(u"Command3_%1"_qs.arg(i))->geometry(), QRect(408, top, 41, 17));
    }
    QCOMPARE(e.button(u"Command1"_qs)->geometry(), QRect(288, 208, 113, 49));
    QCOMPARE(e.button(u"Command2"_qs)->geometry(), QRect(24, 208, 113, 49));

    QVERIFY(QTest::qWaitForWindowActive(d));
    QCOMPARE(QApplication::focusWidget(), e.box(0));
    QStringList order;
    for (int k = 0; k < 16; ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(order, (QStringList{u"Combo1_1"_qs, u"Combo1_2"_qs, u"Combo1_3"_qs, u"Combo1_4"_qs, u"Combo1_5"_qs,
                                 u"Combo1_6"_qs, u"Command1"_qs, u"Command2"_qs, u"Command3_0"_qs, u"Command3_1"_qs,
                                 u"Command3_2"_qs, u"Command3_3"_qs, u"Command3_4"_qs, u"Command3_5"_qs,
                                 u"Command3_6"_qs, u"Combo1_0"_qs}));
    // Enter presses the button that has the focus: Tab to Save and press Enter.
    for (int k = 0; k < 7; ++k)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(e.button(u"Command1"_qs), Qt::Key_Return);
    QVERIFY(!d->isVisible());
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(unchangedSaveLines()));
}

void EditButtonFrmTest::firstShowingMovesToTheTopOfTheScreen() {
    // The test stands in for the system's placement by moving the hidden window,
    // which a window manager on X11 treats differently.
    if (QGuiApplication::platformName() != u"offscreen"_qs)
        QSKIP("placement by a window manager is checked in the built program");
    TempProgramFolder folder;
    ButtonInfo buttons = startSlots();
    const CategoryTable categories = categoryList();
    FakeQuickButtons view;
    FakeMessageSink messages;
    FakeProgramEnd end;
    EditButtonForm d(buttons, categories, view, messages, atOnce(messages, end));
    // Where the window system would have put it.
    d.move(37, 120);
    d.present();
    QTRY_COMPARE(d.pos(), QPoint(37, 0));

    // The user moves it; showing it again leaves it there.
    d.move(50, 60);
    QTRY_COMPARE(d.pos(), QPoint(50, 60));
    QTest::mouseClick(d.findChild<QPushButton*>(u"Command2"_qs), Qt::LeftButton);
    d.present();
    QTest::qWait(800);
    QCOMPARE(d.pos(), QPoint(50, 60));
}

void EditButtonFrmTest::saveAtOnceClearsKeyWithoutCaption() {
    Editor e;
    e.save();
    QVERIFY(!e.dialog->isVisible());
    QCOMPARE(e.buttons.slot(3), TableRow{});
    QCOMPARE(e.buttons.slot(1), startSlots().slot(1));
    QCOMPARE(e.buttons.slot(7), startSlots().slot(7));
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(unchangedSaveLines()));
    // Every button is refreshed; slot 3 is now hidden.
    QCOMPARE(e.view.calls, kButtonSlots);
    QCOMPARE(e.view.captions[1], u"ホームページ制作"_qs);
    QVERIFY(e.view.visibles[1]);
    QCOMPARE(e.view.captions[3], QString());
    QVERIFY(!e.view.visibles[3]);
    QVERIFY(!e.view.visibles[4]);
    QVERIFY(e.view.visibles[7]);
    QVERIFY(e.messages.texts.isEmpty());
}

void EditButtonFrmTest::pickedEntryIsBound() {
    Editor e;
    e.pick(3, 1); // slot 4, unbound: システム開発
    e.pick(6, 2); // slot 7: a category without a key
    e.pick(1, 3); // slot 2: half-width kana
    QCOMPARE(e.box(3)->currentText(), u"システム開発"_qs);
    QCOMPARE(e.box(3)->listIndex(), 1);
    e.save();

    QCOMPARE(e.buttons.slot(4), (TableRow{u"system_dev"_qs, u"it"_qs, u"システム開発"_qs}));
    QCOMPARE(e.buttons.slot(7), (TableRow{QString(), u"none"_qs, u"キーなし"_qs}));
    QCOMPARE(e.view.captions[4], u"システム開発"_qs);
    QVERIFY(e.view.visibles[4]);
    QCOMPARE(e.view.captions[7], u"キーなし"_qs);
    QVERIFY(!e.view.visibles[7]);
    QStringList lines = unchangedSaveLines();
    lines[1] = u"kana,ｶﾅ ,ﾃｽﾄｶﾃｺﾞﾘ"_qs;
    lines[3] = u"system_dev,it ,システム開発"_qs;
    lines[6] = u",none ,キーなし"_qs;
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(lines));
    // Nothing was added to any list.
    QCOMPARE(e.box(3)->count(), 4);

    // Picking the entry that a row already shows still counts.
    e.open();
    e.pick(0, 0);
    QCOMPARE(e.box(0)->listIndex(), 0);
}

void EditButtonFrmTest::clearWritesAnEmptySlot() {
    Editor e;
    e.clear(0);
    QCOMPARE(e.box(0)->currentText(), QString());
    // Clear alone touches nothing outside the dialog.
    QCOMPARE(e.buttons.slot(1), startSlots().slot(1));
    QCOMPARE(e.view.calls, 0);
    e.save();
    QCOMPARE(e.buttons.slot(1), TableRow{});
    QVERIFY(!e.view.visibles[1]);
    QCOMPARE(e.view.captions[1], QString());
    QStringList lines = unchangedSaveLines();
    lines[0] = u", ,"_qs;
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(lines));
}

void EditButtonFrmTest::pickThenClearEmptiesTheSlot() {
    Editor e;
    e.pick(4, 1);
    e.clear(4);
    QCOMPARE(e.box(4)->listIndex(), -1);
    e.save();
    QCOMPARE(e.buttons.slot(5), TableRow{});
    QVERIFY(!e.view.visibles[5]);
}

void EditButtonFrmTest::typedTextIsNeverStored_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("inputMethod");
    // An entry's caption, which QComboBox on its own would select on Enter or on
    // leaving the box; and a text that is no entry.
    for (const QString& typed : {u"システム開発"_qs, u"自由入力"_qs}) {
        for (const QString& ending : {u"enter"_qs, u"leave"_qs, u"popup closed"_qs}) {
            for (const bool inputMethod : {false, true}) {
                const QString name = typed + u", "_qs + ending + (inputMethod ? u", input method"_qs : u", keys"_qs);
                QTest::newRow(name.toUtf8().constData()) << typed << ending << inputMethod;
            }
        }
    }
}

void EditButtonFrmTest::typedTextIsNeverStored() {
    QFETCH(QString, typed);
    QFETCH(QString, ending);
    QFETCH(bool, inputMethod);
    Editor e;
    e.type(1, typed, ending == u"enter"_qs, inputMethod);
    if (ending == u"leave"_qs) {
        QTest::keyClick(e.box(1), Qt::Key_Tab);
    } else if (ending == u"popup closed"_qs) {
        // The list is opened and closed again without choosing.
        QTest::keyClick(e.box(1), Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(e.box(1)->view()->isVisible());
        QTest::keyClick(e.box(1)->view(), Qt::Key_Escape);
        QTRY_VERIFY(!e.box(1)->view()->isVisible());
    }
    QCOMPARE(e.box(1)->currentText(), typed);
    QCOMPARE(e.box(1)->listIndex(), -1);
    e.save();

    QCOMPARE(e.buttons.slot(2), startSlots().slot(2));
    QCOMPARE(e.view.captions[2], u"ロゴ作成"_qs);
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(unchangedSaveLines()));
    QCOMPARE(e.listOf(1), e.listOf(0));
    // The box keeps the typed text at the next showing.
    e.open();
    QCOMPARE(e.box(1)->currentText(), typed);
    e.save();
    QCOMPARE(e.buttons.slot(2), startSlots().slot(2));
}

void EditButtonFrmTest::arrowKeysPickFromTheClosedList() {
    Editor e;
    e.pick(2, 0);
    e.box(2)->setFocus();
    QTest::keyClick(e.box(2), Qt::Key_Down);
    QCOMPARE(e.box(2)->currentText(), u"システム開発"_qs);
    QCOMPARE(e.box(2)->listIndex(), 1);
    // Typing afterwards drops the pick again.
    QTest::keyClick(e.box(2), Qt::Key_X);
    QCOMPARE(e.box(2)->listIndex(), -1);
    QTest::keyClick(e.box(2), Qt::Key_Backspace);
    QCOMPARE(e.box(2)->currentText(), u"システム開発"_qs);
    QCOMPARE(e.box(2)->listIndex(), -1);
}

void EditButtonFrmTest::cancelKeepsTheRowsForLater() {
    Editor e;
    EditButtonForm* first = e.dialog;
    e.pick(6, 0);
    e.clear(0);
    e.cancel();
    QVERIFY(!e.dialog->isVisible());
    QCOMPARE(e.buttons.slot(7), startSlots().slot(7));
    QCOMPARE(e.buttons.slot(1), startSlots().slot(1));
    QCOMPARE(e.view.calls, 0);
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(kStartFileLines));

    // The slots change meanwhile; the rows are not reloaded from them.
    e.buttons.slot(5).caption = u"変更後"_qs;
    e.open();
    QCOMPARE(e.dialog.data(), first);
    QCOMPARE(e.box(6)->currentText(), u"ホームページ制作"_qs);
    QCOMPARE(e.box(6)->listIndex(), 0);
    QCOMPARE(e.box(0)->currentText(), QString());
    QCOMPARE(e.box(4)->currentText(), u"翻訳"_qs);
    QCOMPARE(e.box(6)->count(), 4);
    QVERIFY(e.dialog->isActiveWindow() || QTest::qWaitForWindowActive(e.dialog));

    e.save();
    QCOMPARE(e.buttons.slot(7), (TableRow{u"web_site"_qs, u"it"_qs, u"ホームページ制作"_qs}));
    QCOMPARE(e.buttons.slot(1), TableRow{});
}

void EditButtonFrmTest::closeBoxDiscardsTheRows() {
    Editor e;
    e.pick(0, 1);
    e.type(4, u"書きかけ"_qs, false);
    e.dialog->close();
    QTRY_VERIFY(e.dialog.isNull());
    QCOMPARE(e.buttons.slot(1), startSlots().slot(1));
    QCOMPARE(e.view.calls, 0);
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(kStartFileLines));

    // The next Edit click loads a new dialog from the current slots.
    e.buttons.slot(5).caption = u"変更後"_qs;
    e.open();
    QCOMPARE(e.box(0)->currentText(), u"ホームページ制作"_qs);
    QCOMPARE(e.box(0)->listIndex(), -1);
    QCOMPARE(e.box(4)->currentText(), u"変更後"_qs);
    QCOMPARE(e.box(0)->count(), 4);
}

void EditButtonFrmTest::emptyCategoryList() {
    Editor e;
    delete e.dialog;
    e.categories = CategoryTable{};
    e.open();
    for (int i = 0; i < kButtonSlots; ++i)
        QCOMPARE(e.box(i)->count(), 0);
    QCOMPARE(e.box(0)->currentText(), u"ホームページ制作"_qs);
    e.clear(1);
    e.type(4, u"翻訳"_qs, true);
    e.save();
    QStringList lines = unchangedSaveLines();
    lines[1] = u", ,"_qs;
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(lines));
    QCOMPARE(e.buttons.slot(5), startSlots().slot(5));
}

void EditButtonFrmTest::failedSaveKeepsTheOldFile_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("disk full") << u"disk full"_qs;
    QTest::newRow("read-only folder") << u"read-only"_qs;
    QTest::newRow("caption outside code page 932") << u"character"_qs;
}

void EditButtonFrmTest::failedSaveKeepsTheOldFile() {
    QFETCH(QString, fault);
    if (fault == u"read-only"_qs && ::geteuid() == 0)
        QSKIP("root writes into read-only folders");
    Editor e;
    if (fault == u"character"_qs) {
        delete e.dialog;
        e.categories.append({u"emoji"_qs, u"x"_qs, u"絵文字🙂"_qs});
        e.open();
        e.pick(3, 4);
    } else {
        e.pick(3, 0);
    }
    {
        std::optional<DiskFull> full;
        if (fault == u"disk full"_qs)
            full.emplace();
        if (fault == u"read-only"_qs)
            e.folder.setReadOnly(true);
        e.save();
        e.folder.setReadOnly(false);
    }
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(kStartFileLines));
    QCOMPARE(e.messages.texts.size(), 1);
    QVERIFY2(e.messages.texts.first().contains(buttonFileName()), qPrintable(e.messages.texts.first()));
    // The bindings hold for this run, and the dialog closes as after any Save.
    QVERIFY(!e.buttons.slot(4).caption.isEmpty());
    QCOMPARE(e.view.captions[4], e.buttons.slot(4).caption);
    QVERIFY(!e.dialog->isVisible());
    // A later Save that succeeds writes the file.
    e.open();
    e.clear(3);
    e.save();
    QCOMPARE(e.folder.read(buttonFileName()), cp932Lines(unchangedSaveLines()));
}

QTEST_MAIN(EditButtonFrmTest)
#include "editbuttonfrm_test.moc"
