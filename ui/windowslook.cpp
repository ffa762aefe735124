#include "ui/windowslook.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionButton>

namespace velkoria {

namespace {

// Presses a focused command button on Enter, once per key press.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                           (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!enter || !button || !button->isEnabled())
            return false;
        if (!key->isAutoRepeat())
            button->click();
        return true;
    }
};

// The classic Windows colours of a button's edges.
const QColor kHighlight(255, 255, 255);
const QColor kLight(227, 227, 227);
const QColor kShadow(160, 160, 160);
const QColor kDarkShadow(105, 105, 105);
const QColor kFrame(0, 0, 0);

// Draws a whole push button from its palette's Button colour, whatever the
// style underneath would do with the focus.
class ColouredButtonStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_PushButton || !button) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const bool sunken = button->state & (State_Sunken | State_On);
        const bool focus = button->state & State_HasFocus;
        QRect r = button->rect;
        painter->fillRect(r, button->palette.button());
        if (focus || sunken) {
            frame(painter, r, kFrame, kFrame);
            r.adjust(1, 1, -1, -1);
        }
        if (sunken) {
            frame(painter, r, kShadow, kShadow);
        } else {
            frame(painter, r, kHighlight, kDarkShadow);
            frame(painter, r.adjusted(1, 1, -1, -1), kLight, kShadow);
        }
        const QRect text = button->rect.translated(sunken ? 1 : 0, sunken ? 1 : 0);
        drawItemText(painter, text, Qt::AlignCenter | Qt::TextShowMnemonic, button->palette,
                     button->state & State_Enabled, button->text, QPalette::ButtonText);
        if (focus)
            dottedFrame(painter, button->rect.adjusted(4, 4, -4, -4));
    }

private:
    // One pixel wide: topLeft along the top and left edges, bottomRight along the others.
    static void frame(QPainter* painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
        painter->fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
        painter->fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
        painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
        painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    }

    // Every other pixel of the rectangle's edge, as Windows draws a focus rectangle.
    static void dottedFrame(QPainter* painter, const QRect& r) {
        for (int x = r.left(); x <= r.right(); x += 2) {
            painter->fillRect(QRect(x, r.top(), 1, 1), kFrame);
            painter->fillRect(QRect(x, r.bottom(), 1, 1), kFrame);
        }
        for (int y = r.top(); y <= r.bottom(); y += 2) {
            painter->fillRect(QRect(r.left(), y, 1, 1), kFrame);
            painter->fillRect(QRect(r.right(), y, 1, 1), kFrame);
        }
    }
};

QStyle* colouredButtonStyle() {
    static ColouredButtonStyle* style = [] {
        auto* s = new ColouredButtonStyle;
        s->setParent(qApp); // goes with the application
        return s;
    }();
    return style;
}

} // namespace

void useWindowsKeysAndLabels(QWidget& window) {
    auto* enter = new EnterPressesButton(&window);
    for (QPushButton* button : window.findChildren<QPushButton*>())
        button->installEventFilter(enter);
    for (QLabel* label : window.findChildren<QLabel*>())
        label->setAlignment((label->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
}

void colourButton(QPushButton* button, const QColor& colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, colour);
    button->setPalette(palette);
    button->setStyle(colouredButtonStyle());
}

void bringToFront(QWidget& window) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

QFont designFont(qreal points, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPA Pゴシック"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(points);
    if (bold)
        font.setWeight(QFont::Bold);
    return font;
}

} // namespace velkoria
