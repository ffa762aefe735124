#include "monitor/schedule.h"

#include <QByteArray>
#include <charconv>
#include <cmath>
#include <limits>

namespace velkoria {

namespace {

// Walks the text, skipping blanks, tabs and line feeds wherever they stand.
class Reader {
public:
    explicit Reader(QStringView text) : m_text(text) {}
    // The next character that counts, or 0 at the end.
    char16_t peek() {
        while (m_pos < m_text.size() && isBlank(m_text.at(m_pos)))
            ++m_pos;
        return m_pos < m_text.size() ? m_text.at(m_pos).unicode() : u'\0';
    }
    void take() { ++m_pos; }

private:
    static bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }
    QStringView m_text;
    qsizetype m_pos = 0;
};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int digitValue(char16_t c, int base) {
    int value = -1;
    if (c >= u'0' && c <= u'9')
        value = c - u'0';
    else if (c >= u'A' && c <= u'F')
        value = c - u'A' + 10;
    else if (c >= u'a' && c <= u'f')
        value = c - u'a' + 10;
    return value < base ? value : -1;
}

// &H or &O digits after the '&'.
double radixNumber(Reader& in) {
    const char16_t prefix = in.peek();
    int base = 0;
    if (prefix == u'H' || prefix == u'h')
        base = 16;
    else if (prefix == u'O' || prefix == u'o')
        base = 8;
    if (base == 0)
        return 0;
    in.take();
    double value = 0;
    for (int digit = digitValue(in.peek(), base); digit >= 0; digit = digitValue(in.peek(), base)) {
        value = value * base + digit;
        in.take();
    }
    return value;
}

} // namespace

double leadingNumber(QStringView text) {
    Reader in(text);
    if (in.peek() == u'&') {
        in.take();
        return radixNumber(in);
    }
    // The decimal number without its blanks, then converted in one go.
    QByteArray number;
    if (in.peek() == u'+' || in.peek() == u'-') {
        number += char(in.peek());
        in.take();
    }
    bool mantissa = false;
    for (; isDigit(in.peek()); in.take()) {
        number += char(in.peek());
        mantissa = true;
    }
    if (in.peek() == u'.') {
        number += '.';
        in.take();
        for (; isDigit(in.peek()); in.take()) {
            number += char(in.peek());
            mantissa = true;
        }
    }
    if (!mantissa)
        return 0;
    bool negativeExponent = false;
    if (in.peek() == u'E' || in.peek() == u'e') {
        // The exponent counts only with at least one digit: "1e" and "1e+" read as 1.
        QByteArray exponent = "e";
        in.take();
        if (in.peek() == u'+' || in.peek() == u'-') {
            negativeExponent = in.peek() == u'-';
            exponent += char(in.peek());
            in.take();
        }
        bool digits = false;
        for (; isDigit(in.peek()); in.take()) {
            exponent += char(in.peek());
            digits = true;
        }
        if (digits)
            number += exponent;
    }
    // from_chars does not take a leading '+'.
    const char* first = number.constData() + (number.startsWith('+') ? 1 : 0);
    double value = 0;
    const auto result = std::from_chars(first, number.constData() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (negativeExponent)
            return 0;
        const double inf = std::numeric_limits<double>::infinity();
        return number.startsWith('-') ? -inf : inf;
    }
    return value;
}

ScanSchedule::ScanSchedule(ScheduleView& view, ScanRunner& scans) : m_view(view), m_scans(scans) {}

void ScanSchedule::apply(const QString& text, bool hideBrowser) {
    m_cyclelimit = 0;
    const double v = leadingNumber(text);
    // A cycle whose value or double lies beyond a double (a huge exponent)
    // switches automatic scanning off.
    if (v != 0 && std::isfinite(v + v)) {
        m_view.startScheduleTimer(kScheduleIntervalMs);
        m_cyclelimit = v + v;
        m_view.startBlinkTimer();
        if (hideBrowser)
            m_view.hideBrowser();
    } else {
        m_view.stopScheduleTimer();
        m_view.setCycleLabelVisible(true);
        m_view.stopBlinkTimer();
    }
}

void ScanSchedule::tick() {
    ++m_cyclecount;
    if (m_cyclecount > m_cyclelimit) {
        m_cyclecount = 0;
        m_scans.scanjobs();
    }
}

void ScanSchedule::blinkTick() {
    m_view.setCycleLabelVisible(!m_view.cycleLabelVisible());
}

void ScanSchedule::scanNow() {
    m_scans.scanjobs();
}

} // namespace velkoria
