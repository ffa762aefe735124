#pragma once

#include <QFont>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>

class QPagedPaintDevice;

namespace velkoria::manual {

// Page geometry of the printed manual, in millimetres.
struct PageGeometry {
    double marginLeft = 20;
    double marginRight = 20;
    double marginTop = 18;
    double marginBottom = 12;
    // Band at the bottom of the printable area that holds the page number.
    double footerHeight = 10;
};

// The user manual laid out as a paged book: Markdown source, numbered chapter
// and section headings, a table of contents with page numbers, figures with
// captions, and a page number in every footer.
class ManualBook {
public:
    // Loads the Markdown file (UTF-8). Images it names are taken relative to the
    // file's folder; an image file that does not exist is left out with a note in
    // warnings(), so the book can be built before the screenshots are taken.
    // Returns false with errorText() set when the source cannot be read.
    bool load(const QString& markdownPath);

    // Lays the book out for the device (fonts, pages, contents). Call once, after load().
    void layout(QPagedPaintDevice& device, const PageGeometry& geometry);

    // Paints every page onto the device, the footer included. Call after layout().
    void print(QPagedPaintDevice& device);

    int pageCount() const;
    // The text of the first level-1 heading, used as the document's title.
    QString title() const { return m_title; }
    QString errorText() const { return m_errorText; }
    QStringList warnings() const { return m_warnings; }
    const QTextDocument& document() const { return *m_document; }

private:
    void styleBlocks();
    void makeCover();
    void styleTables();
    void sizeImages();
    void numberHeadings();
    void insertContents();
    void useFontGlyphsAsTheyAre();
    void dropEmptyCellParagraphs();
    // Page breaks as a book has them: a heading or a lead-in keeps the first
    // paragraph after it on its page, a quoted message is not split, and a
    // figure that does not fit in the room left on a page shrinks a little, or
    // goes to the next one while the text after it fills that room.
    void paginate();
    bool keepWithText(const QTextBlock& block);
    bool keepCodeWhole(const QTextBlock& first);
    void breakBefore(const QTextBlock& block);
    bool fillRoomAboveFigure(const QTextBlock& image);
    // Moves the figure to stand right after last; returns its picture's block.
    QTextBlock moveFigureAfter(const QTextBlock& image, const QTextBlock& last);
    void removeFigure(const QTextBlock& image);
    QTextBlock firstTextAfter(const QTextBlock& leadIn) const;
    double textTop(const QTextBlock& block) const;
    double textBottom(const QTextBlock& block) const;
    int pageAt(double y) const;
    bool onOnePage(const QTextBlock& first, const QTextBlock& last) const;
    void fillContentsPageNumbers();
    int pageOf(const QTextBlock& block) const;
    double mm(double millimetres) const;
    double pt(double points) const;
    double fmtMm(double millimetres) const;
    double fmtPt(double points) const;

    std::unique_ptr<QTextDocument> m_document;
    QString m_baseFolder;
    QString m_title;
    QString m_errorText;
    QStringList m_warnings;
    QFont m_bodyFont;
    double m_dpi = 72;
    QSizeF m_bodySize;
    PageGeometry m_geometry;
    // Each entry of the table of contents: its block and the heading it points at.
    QList<QPair<QTextBlock, QTextBlock>> m_contents;
};

// The font families the book is set in (from the Debian package fonts-noto-cjk).
QString bodyFontFamily();
QString monoFontFamily();

} // namespace velkoria::manual
