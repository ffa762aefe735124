#pragma once

#include <QByteArray>
#include <QHash>

class QRawFont;

namespace velkoria::manual {

// Qt's PDF writer tells readers which character each glyph stands for (the
// ToUnicode maps), picking the lowest code point that the font draws with that
// glyph. Noto CJK draws the Kangxi radicals with the glyphs of the ideographs,
// so "目", "見" or "長" would come back from copy, search and pdftotext as the
// radicals "⽬", "⾒", "⻑".

// The radicals (U+2E80 to U+2FDF) that the font draws with the glyph of an
// ideograph, each mapped to that ideograph.
QHash<char16_t, char16_t> radicalIdeographs(const QRawFont& font);

// Rewrites the ToUnicode maps of the PDF so that each radical of the table reads
// as its ideograph. Each entry keeps its length, so no offset in the file moves.
// Returns the number of entries changed.
int mapRadicalsToIdeographs(QByteArray& pdf, const QHash<char16_t, char16_t>& ideographs);

} // namespace velkoria::manual
