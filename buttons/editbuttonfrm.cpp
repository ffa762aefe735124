#include "buttons/editbuttonfrm.h"

#include "platform/errors.h"
#include "ui/twips.h"
#include "ui/windowslook.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

namespace velkoria {

namespace {

constexpr int rowTop(int i) {
    return twips(360 + 360 * i);
}

// How long the first showing waits for the window system to place the window
// before moving it to the top of the screen anyway.
constexpr int kPlacementWaitMs = 500;

} // namespace

DropDownCombo::DropDownCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // A Windows drop-down shows eight entries at a time.
    setMaxVisibleItems(8);
    setCompleter(nullptr);
    // QComboBox selects the entry whose caption equals the typed text when the
    // user presses Enter or leaves the box (even for the popup opening) and
    // reports that as an activation; typed text must never pick an entry, so the
    // box does not listen to the end of editing at all.
    disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    // Typing leaves no entry selected, even when the text equals an entry.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_listIndex = -1; });
    // What remains to activate an entry is the user's choice in the popup, the
    // arrow and page keys on the closed box, and the wheel.
    connect(this, &QComboBox::activated, this, [this](int index) { m_listIndex = index; });
}

void DropDownCombo::setProgramText(const QString& text) {
    // QComboBox's own index goes too, so that the popup does not open on a stale entry.
    setCurrentIndex(-1);
    setEditText(text);
    m_listIndex = -1;
}

EditButtonForm::EditButtonForm(ButtonInfo& buttons, const CategoryTable& categories, QuickButtonView& view,
                               MessageSink& messages, EditorDispatch dispatch)
    : QWidget(nullptr, Qt::Window), m_buttons(buttons), m_categories(categories), m_view(view), m_messages(messages),
      m_dispatch(std::move(dispatch)) {
    setObjectName(QStringLiteral("editbuttonfrm"));
    setWindowTitle(QStringLiteral("クイックボタン編集"));
    setFont(designFont());
    resize(twips(6990), twips(4095));

    for (int i = 0; i < kButtonSlots; ++i) {
        auto* label = new QLabel(QStringLiteral("Label1"), this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setGeometry(twips(240), rowTop(i), twips(495), twips(375));
        m_labels[i] = label;

        auto* box = new DropDownCombo(this);
        box->setObjectName(QStringLiteral("Combo1_%1").arg(i));
        box->setGeometry(twips(840), rowTop(i), twips(5175), twips(300));
        box->setEditText(QStringLiteral("Combo1"));
        m_boxes[i] = box;

        auto* clear = new QPushButton(QStringLiteral("クリア"), this);
        clear->setObjectName(QStringLiteral("Command3_%1").arg(i));
        clear->setGeometry(twips(6120), rowTop(i), twips(615), twips(255));
        connect(clear, &QPushButton::clicked, this,
                [this, i, clear] { m_dispatch(EditorAction::Clear, i, clear, [this, i] { clearRow(i); }); });
        m_clearButtons[i] = clear;
    }

    m_save = new QPushButton(QStringLiteral("保存"), this);
    m_save->setObjectName(QStringLiteral("Command1"));
    m_save->setGeometry(twips(4320), twips(3120), twips(1695), twips(735));
    connect(m_save, &QPushButton::clicked, this,
            [this] { m_dispatch(EditorAction::Save, -1, m_save, [this] { save(); }); });

    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("Command2"));
    m_cancel->setGeometry(twips(360), twips(3120), twips(1695), twips(735));
    connect(m_cancel, &QPushButton::clicked, this,
            [this] { m_dispatch(EditorAction::Cancel, -1, m_cancel, [this] { cancel(); }); });

    // The boxes from top to bottom, then Save, Cancel and the Clear buttons from
    // top to bottom. The labels take no focus.
    QList<QWidget*> chain(m_boxes.begin(), m_boxes.end());
    chain << m_save << m_cancel;
    chain.append(QList<QWidget*>(m_clearButtons.begin(), m_clearButtons.end()));
    for (qsizetype k = 0; k + 1 < chain.size(); ++k)
        setTabOrder(chain.at(k), chain.at(k + 1));
    m_boxes[0]->setFocus();
    useWindowsKeysAndLabels(*this);

    formLoad();
}

void EditButtonForm::formLoad() {
    QStringList captions;
    for (int r = 1; r <= m_categories.categorycount(); ++r)
        captions.append(m_categories.row(r).caption);
    for (int i = 0; i < kButtonSlots; ++i) {
        m_labels[i]->setText(QString::number(i + 1));
        // The list is filled before the text is set: QComboBox selects the first
        // entry when an empty list gets entries, which would replace the text.
        m_boxes[i]->addItems(captions);
        m_boxes[i]->setProgramText(m_buttons.slot(i + 1).caption);
    }
}

void EditButtonForm::present() {
    bringToFront(*this);
}

void EditButtonForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shownOnce || event->spontaneous())
        return;
    m_shownOnce = true;
    // The system places a new window when it is mapped; the top edge then goes to
    // the top of the screen and the horizontal position stays. Some window
    // systems never report the placement, hence the time limit.
    m_topMovePending = true;
    QTimer::singleShot(kPlacementWaitMs, this, [this] {
        if (m_topMovePending)
            moveToTopOfScreen();
    });
}

void EditButtonForm::closeEvent(QCloseEvent* event) {
    // The close box discards the dialog after what the user pressed before it
    // (a Save that waits, say): the owner runs it in turn. The dialog is then
    // hidden and deleted once the event that closed it is done.
    event->ignore();
    m_dispatch(EditorAction::Close, -1, nullptr, [this] {
        m_discarded = true;
        hide();
        deleteLater();
    });
}

void EditButtonForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (m_topMovePending && event->spontaneous())
        moveToTopOfScreen();
}

void EditButtonForm::moveToTopOfScreen() {
    m_topMovePending = false;
    const QScreen* s = screen();
    move(x(), s ? s->geometry().top() : 0);
}

void EditButtonForm::clearRow(int i) {
    m_boxes[i]->setProgramText(QString());
}

void EditButtonForm::cancel() {
    hide();
}

void EditButtonForm::save() {
    for (int i = 0; i < kButtonSlots; ++i) {
        TableRow& slot = m_buttons.slot(i + 1);
        const QString text = m_boxes[i]->currentText();
        const int k = m_boxes[i]->listIndex();
        if (k >= 0)
            slot = m_categories.row(k + 1);
        // After the copy: an empty text clears the slot even with an entry picked.
        if (text.isEmpty())
            slot = TableRow{};
    }
    applyButtons(m_buttons, m_view);
    try {
        savebuttons(m_buttons);
    } catch (const RuntimeError& error) {
        // The bindings already hold for this run; only the file keeps the old ones.
        m_messages.show(buttonFileNotSavedMessage(error.description()));
    }
    hide();
}

QString buttonFileNotSavedMessage(const QString& errorDescription) {
    return QStringLiteral("クイックボタンの設定をファイルに保存できませんでした。\n%1\n"
                          "変更したボタンは今回の実行中は使えますが、次に起動すると元の設定に戻ります。")
        .arg(errorDescription);
}

} // namespace velkoria
