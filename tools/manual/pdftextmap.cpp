#include "pdftextmap.h"

#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QString>

namespace velkoria::manual {

namespace {

// CJK Radicals Supplement and Kangxi Radicals.
constexpr char16_t kFirstRadical = 0x2E80;
constexpr char16_t kLastRadical = 0x2FDF;

// The ideographs of the Basic Multilingual Plane: extension A, the unified block
// and the compatibility ideographs.
constexpr std::pair<char16_t, char16_t> kIdeographRanges[] = {{0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF}};

QList<quint32> glyphsOf(const QRawFont& font, const QString& text) {
    return font.glyphIndexesForString(text);
}

QString rangeText(char16_t first, char16_t last) {
    QString text;
    text.reserve(last - first + 1);
    for (char32_t c = first; c <= last; ++c)
        text += QChar(char16_t(c));
    return text;
}

} // namespace

QHash<char16_t, char16_t> radicalIdeographs(const QRawFont& font) {
    // The first ideograph drawn with each glyph.
    QHash<quint32, char16_t> ideographOfGlyph;
    for (const auto& [first, last] : kIdeographRanges) {
        const QList<quint32> glyphs = glyphsOf(font, rangeText(first, last));
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            if (glyphs.at(i) != 0 && !ideographOfGlyph.contains(glyphs.at(i)))
                ideographOfGlyph.insert(glyphs.at(i), char16_t(first + i));
        }
    }
    QHash<char16_t, char16_t> ideographs;
    const QList<quint32> radicalGlyphs = glyphsOf(font, rangeText(kFirstRadical, kLastRadical));
    for (qsizetype i = 0; i < radicalGlyphs.size(); ++i) {
        const auto found = ideographOfGlyph.constFind(radicalGlyphs.at(i));
        if (radicalGlyphs.at(i) != 0 && found != ideographOfGlyph.constEnd())
            ideographs.insert(char16_t(kFirstRadical + i), *found);
    }
    return ideographs;
}

int mapRadicalsToIdeographs(QByteArray& pdf, const QHash<char16_t, char16_t>& ideographs) {
    // Latin-1 keeps one character per byte, so positions in the text are offsets in the file.
    const QString text = QString::fromLatin1(pdf);
    QSet<QString> mapObjects;
    static const QRegularExpression reference(QStringLiteral(R"(/ToUnicode\s+(\d+)\s+0\s+R)"));
    for (auto it = reference.globalMatch(text); it.hasNext();)
        mapObjects.insert(it.next().captured(1));

    int changed = 0;
    static const QRegularExpression entry(QStringLiteral("<([0-9A-Fa-f]{4})>"));
    for (const QString& object : std::as_const(mapObjects)) {
        const QRegularExpression header(
            QStringLiteral(R"((?:^|[\r\n])%1\s+0\s+obj\s*<<\s*/Length\s+(\d+)\s*>>\s*stream\r?\n)").arg(object));
        const auto match = header.match(text);
        if (!match.hasMatch())
            continue;
        const qsizetype start = match.capturedEnd();
        const qsizetype length = match.captured(1).toLongLong();
        if (start + length > text.size())
            continue;
        for (auto it = entry.globalMatch(text.mid(start, length)); it.hasNext();) {
            const auto hex = it.next();
            const char16_t code = char16_t(hex.captured(1).toUShort(nullptr, 16));
            if (code < kFirstRadical || code > kLastRadical)
                continue;
            const auto ideograph = ideographs.constFind(code);
            if (ideograph == ideographs.constEnd())
                continue;
            const QByteArray replacement = QByteArray::number(*ideograph, 16).toUpper().rightJustified(4, '0');
            pdf.replace(start + hex.capturedStart(1), 4, replacement);
            ++changed;
        }
    }
    return changed;
}

} // namespace velkoria::manual
