#include "manualbook.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QTextTable>
#include <cmath>

namespace velkoria::manual {

namespace {

const QColor kHeadingColor(0x1f, 0x3a, 0x68);
const QColor kCaptionColor(0x44, 0x44, 0x44);
const QColor kCodeBackground(0xf2, 0xf2, 0xf2);
const QColor kNoteBackground(0xfd, 0xf6, 0xe3);
const QColor kTableHeaderBackground(0xe4, 0xea, 0xf3);
const QColor kRuleColor(0x99, 0xa8, 0xc0);

// Screenshots are taken at twice their size on a 96 dots-per-inch screen
// (tools/manual/screenshots.sh); on paper they get the size of the windows.
constexpr double kScreenshotScale = 0.5;
// A figure may shrink to this share of its size to stay on its page.
constexpr double kSmallestFigureScale = 0.9;
// Marks the caption block set under a figure, and a figure shrunk to fit.
constexpr int kCaptionProperty = QTextFormat::UserProperty + 1;
constexpr int kShrunkProperty = QTextFormat::UserProperty + 2;
// The table of contents holds chapters and their sections.
constexpr int kDeepestContentsLevel = 3;

bool isCodeBlock(const QTextBlock& block) {
    return block.blockFormat().hasProperty(QTextFormat::BlockCodeFence);
}

bool isImageOnlyBlock(const QTextBlock& block) {
    bool image = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.charFormat().isImageFormat())
            image = true;
        else if (!fragment.text().trimmed().isEmpty())
            return false;
    }
    return image;
}

bool isCaption(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().boolProperty(kCaptionProperty);
}

bool inTable(const QTextBlock& block) {
    return QTextCursor(block).currentTable() != nullptr;
}

// A heading, or a paragraph that leads in to what follows it: it ends with a
// colon, or a table or a quoted text comes right after it.
bool leadsIn(const QTextBlock& block) {
    if (block.blockFormat().headingLevel() >= 2)
        return true;
    if (block.blockFormat().headingLevel() > 0 || block.textList() || isCodeBlock(block) || inTable(block))
        return false;
    const QString text = block.text().trimmed();
    const QTextBlock next = block.next();
    return text.endsWith(u'：') || text.endsWith(u':') || (next.isValid() && (inTable(next) || isCodeBlock(next)));
}

QTextImageFormat imageFormatOf(const QTextBlock& block) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().isImageFormat())
            return it.fragment().charFormat().toImageFormat();
    }
    return {};
}

// The last block of a figure: its caption, or the picture when it has none.
QTextBlock figureEnd(const QTextBlock& image) {
    return isCaption(image.next()) ? image.next() : image;
}

// The last block of what starts at block: a table, a list, a quoted text, or
// one paragraph.
QTextBlock endOfPart(const QTextBlock& block) {
    if (QTextTable* table = QTextCursor(block).currentTable())
        return table->cellAt(table->rows() - 1, table->columns() - 1).lastCursorPosition().block();
    QTextBlock last = block;
    if (QTextList* list = block.textList()) {
        while (last.next().isValid() && last.next().textList() == list)
            last = last.next();
    } else if (isCodeBlock(block)) {
        while (last.next().isValid() && isCodeBlock(last.next()))
            last = last.next();
    }
    return last;
}

// Text that may move ahead of a figure to fill the room above it: the next
// paragraph, list, table or quoted text, a paragraph together with what it
// leads in to. Nothing moves across a heading or another figure. Returns the
// unit's last block, or an invalid block when nothing may move.
QTextBlock movableUnitFrom(const QTextBlock& first) {
    const auto fixed = [](const QTextBlock& b) {
        return !b.isValid() || b.blockFormat().headingLevel() > 0 || isImageOnlyBlock(b);
    };
    if (fixed(first))
        return {};
    QTextBlock last = endOfPart(first);
    const bool paragraph = !inTable(first) && !first.textList() && !isCodeBlock(first);
    if (paragraph && (leadsIn(first) || (first.next().isValid() && first.next().textList()))) {
        if (fixed(first.next()))
            return {};
        last = endOfPart(first.next());
    }
    return last;
}

} // namespace

QString bodyFontFamily() {
    return QStringLiteral("Noto Sans CJK JP");
}
QString monoFontFamily() {
    return QStringLiteral("Noto Sans Mono CJK JP");
}

bool ManualBook::load(const QString& markdownPath) {
    QFile file(markdownPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorText = QStringLiteral("%1: %2").arg(markdownPath, file.errorString());
        return false;
    }
    QString markdown = QString::fromUtf8(file.readAll());
    m_baseFolder = QFileInfo(markdownPath).absolutePath();

    // Leave out images whose file is missing: a book without a screenshot reads
    // better than one with a hole in it.
    static const QRegularExpression image(QStringLiteral(R"(!\[([^\]]*)\]\(([^)\s]+)(?:\s+"[^"]*")?\))"));
    QString kept;
    qsizetype from = 0;
    for (auto it = image.globalMatch(markdown); it.hasNext();) {
        const auto match = it.next();
        kept += QStringView(markdown).mid(from, match.capturedStart() - from);
        if (QFileInfo::exists(QDir(m_baseFolder).filePath(match.captured(2))))
            kept += match.captured(0);
        else
            m_warnings << QStringLiteral("image %1 not found; left out").arg(match.captured(2));
        from = match.capturedEnd();
    }
    kept += QStringView(markdown).mid(from);

    m_document = std::make_unique<QTextDocument>();
    m_document->setMarkdown(kept, QTextDocument::MarkdownDialectGitHub);
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1) {
            m_title = block.text().trimmed();
            break;
        }
    }
    return true;
}

double ManualBook::mm(double millimetres) const {
    return millimetres / 25.4 * m_dpi;
}
double ManualBook::pt(double points) const {
    return points / 72.0 * m_dpi;
}
// The text layout takes the measures of formats (margins, indents, tabs, borders,
// padding, image sizes) in pixels of 96 dots per inch and scales them to the device.
double ManualBook::fmtMm(double millimetres) const {
    return millimetres / 25.4 * 96.0;
}
double ManualBook::fmtPt(double points) const {
    return points / 72.0 * 96.0;
}

void ManualBook::layout(QPagedPaintDevice& device, const PageGeometry& geometry) {
    m_geometry = geometry;
    device.setPageSize(QPageSize(QPageSize::A4));
    device.setPageMargins(
        QMarginsF(geometry.marginLeft, geometry.marginTop, geometry.marginRight, geometry.marginBottom),
        QPageLayout::Millimeter);
    m_dpi = device.logicalDpiY();
    const QRectF paintRect = device.pageLayout().paintRectPixels(device.logicalDpiX());
    m_bodySize = QSizeF(paintRect.width(), paintRect.height() - mm(geometry.footerHeight));

    m_bodyFont = QFont(bodyFontFamily());
    m_bodyFont.setPointSizeF(10);
    m_document->documentLayout()->setPaintDevice(&device);
    m_document->setDefaultFont(m_bodyFont);
    m_document->setDocumentMargin(0);
    m_document->setPageSize(m_bodySize);
    QTextOption option = m_document->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_document->setDefaultTextOption(option);

    // The formats go in as one edit: the book is laid out again once, at its
    // end, rather than after every change of format.
    QTextCursor edit(m_document.get());
    edit.beginEditBlock();
    sizeImages();
    dropEmptyCellParagraphs();
    styleBlocks();
    makeCover();
    styleTables();
    numberHeadings();
    insertContents();
    useFontGlyphsAsTheyAre();
    edit.endEditBlock();
    // Laid out whole before the pages are measured: the layout that follows an
    // edit of the whole book is otherwise made bit by bit as it is asked for.
    m_document->documentLayout()->documentSize();
    paginate();
    fillContentsPageNumbers();
}

void ManualBook::sizeImages() {
    // In format units (96 dots per inch), like the picture's own pixels.
    const double maxWidth = m_bodySize.width() / m_dpi * 96.0;
    const double maxHeight = m_bodySize.height() / m_dpi * 96.0 * 0.8;
    QList<QTextFragment> images;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                images << it.fragment();
        }
    }
    for (const QTextFragment& fragment : std::as_const(images)) {
        QTextImageFormat format = fragment.charFormat().toImageFormat();
        const QString path = QDir(m_baseFolder).filePath(format.name());
        const QImage picture(path);
        if (picture.isNull()) {
            m_warnings << QStringLiteral("image %1 cannot be read").arg(path);
            continue;
        }
        m_document->addResource(QTextDocument::ImageResource, QUrl(format.name()), picture);
        const double width = picture.width() * kScreenshotScale;
        const double height = picture.height() * kScreenshotScale;
        const double shrink = std::min({1.0, maxWidth / width, maxHeight / height});
        format.setWidth(width * shrink);
        format.setHeight(height * shrink);
        QTextCursor cursor(m_document.get());
        cursor.setPosition(fragment.position());
        cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
}

void ManualBook::styleBlocks() {
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        QTextCharFormat charFormat;
        const int level = blockFormat.headingLevel();
        if (inTable(block)) {
            // The first cell of a table may carry over the format of the block
            // before the table (for example a code block's); cells get their own.
            blockFormat.clearProperty(QTextFormat::BlockCodeFence);
            blockFormat.clearProperty(QTextFormat::BlockCodeLanguage);
            blockFormat.setBackground(Qt::NoBrush);
            blockFormat.setTopMargin(0);
            blockFormat.setBottomMargin(0);
            blockFormat.setLeftMargin(0);
            blockFormat.setRightMargin(0);
            blockFormat.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
            charFormat.setFontPointSize(9.5);
        } else if (level > 0) {
            static const double sizes[] = {0, 26, 16, 12.5, 11, 10, 10};
            charFormat.setFontPointSize(sizes[std::min(level, 6)]);
            charFormat.setFontWeight(QFont::Bold);
            charFormat.setForeground(kHeadingColor);
            blockFormat.setTopMargin(fmtPt(level == 1 ? 0 : level == 2 ? 6 : 12));
            blockFormat.setBottomMargin(fmtPt(level <= 2 ? 8 : 4));
            if (level == 1)
                blockFormat.setBottomMargin(fmtMm(12));
            if (level == 2) {
                blockFormat.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth, QTextLength());
            }
        } else if (isCodeBlock(block)) {
            blockFormat.setBackground(kCodeBackground);
            // Long lines (a message quoted whole) wrap instead of running off the page.
            blockFormat.setNonBreakableLines(false);
            blockFormat.setLeftMargin(fmtPt(8));
            blockFormat.setRightMargin(fmtPt(8));
            blockFormat.setTopMargin(0);
            blockFormat.setBottomMargin(0);
            const bool first = !block.previous().isValid() || !isCodeBlock(block.previous());
            const bool last = !block.next().isValid() || !isCodeBlock(block.next()) || inTable(block.next());
            if (first)
                blockFormat.setTopMargin(fmtPt(2));
            if (last)
                blockFormat.setBottomMargin(fmtPt(8));
            charFormat.setFontFamilies({monoFontFamily()});
            charFormat.setFontPointSize(9);
        } else if (isImageOnlyBlock(block)) {
            blockFormat.setAlignment(Qt::AlignHCenter);
            blockFormat.setTopMargin(fmtPt(6));
            blockFormat.setBottomMargin(fmtPt(2));
        } else {
            blockFormat.setBottomMargin(fmtPt(block.textList() ? 3 : 6));
            blockFormat.setLineHeight(120, QTextBlockFormat::ProportionalHeight);
            if (blockFormat.intProperty(QTextFormat::BlockQuoteLevel) > 0) {
                blockFormat.setBackground(kNoteBackground);
                blockFormat.setLeftMargin(fmtPt(12));
                blockFormat.setRightMargin(fmtPt(4));
                blockFormat.setTopMargin(fmtPt(2));
            }
        }
        cursor.setBlockFormat(blockFormat);

        // Character formats: keep what the Markdown made (bold, italic, code spans)
        // and set size, colour and family on top of it. The Markdown's relative
        // heading sizes would override an explicit size, so they go.
        QList<QTextFragment> fragments;
        for (auto it = block.begin(); !it.atEnd(); ++it)
            fragments << it.fragment();
        for (const QTextFragment& fragment : std::as_const(fragments)) {
            QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat())
                continue;
            const bool codeSpan = format.fontFixedPitch() && !isCodeBlock(block);
            format.clearProperty(QTextFormat::FontSizeAdjustment);
            format.merge(charFormat);
            if (codeSpan) {
                // A file name, a setting or a typed text.
                format.setFontFamilies({monoFontFamily()});
                format.setFontPointSize(charFormat.hasProperty(QTextFormat::FontPointSize)
                                            ? charFormat.fontPointSize() * 0.95
                                            : m_bodyFont.pointSizeF() * 0.95);
                format.setForeground(QColor(0x6a, 0x1b, 0x1b));
            } else if (!charFormat.hasProperty(QTextFormat::FontFamilies)) {
                format.setFontFamilies({bodyFontFamily()});
            }
            QTextCursor span(m_document.get());
            span.setPosition(fragment.position());
            span.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            span.setCharFormat(format);
        }
    }

    // Figure captions: the alternative text of an image, set centred below it.
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (!isImageOnlyBlock(block))
            continue;
        QString caption;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                caption = it.fragment().charFormat().stringProperty(QTextFormat::ImageAltText);
        }
        if (caption.isEmpty())
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock);
        QTextBlockFormat captionBlock;
        captionBlock.setAlignment(Qt::AlignHCenter);
        captionBlock.setBottomMargin(fmtPt(10));
        captionBlock.setProperty(kCaptionProperty, true);
        QTextCharFormat captionChars;
        captionChars.setFontFamilies({bodyFontFamily()});
        captionChars.setFontPointSize(9);
        captionChars.setForeground(kCaptionColor);
        cursor.insertBlock(captionBlock, captionChars);
        cursor.insertText(caption, captionChars);
        block = cursor.block();
    }
}

void ManualBook::makeCover() {
    // The cover is what stands before the first chapter: the title and a few
    // lines, centred and set lower on the page. A top margin is not kept at the
    // top of a page, so an empty block of fixed height makes the room above.
    QTextCursor cursor(m_document.get());
    cursor.insertBlock();
    QTextBlockFormat spacer;
    spacer.setLineHeight(fmtMm(55), QTextBlockFormat::FixedHeight);
    QTextCursor(m_document->begin()).setBlockFormat(spacer);
    for (QTextBlock block = m_document->begin().next(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        if (format.headingLevel() >= 2)
            break;
        format.setAlignment(Qt::AlignHCenter);
        if (format.headingLevel() == 0)
            format.setBottomMargin(fmtPt(10));
        QTextCursor(block).setBlockFormat(format);
        if (format.headingLevel() == 0) {
            QTextCursor text(block);
            text.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            QTextCharFormat larger;
            larger.setFontPointSize(11);
            text.mergeCharFormat(larger);
        }
    }
}

void ManualBook::styleTables() {
    QList<QTextTable*> tables;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (QTextTable* table = QTextCursor(block).currentTable(); table && !tables.contains(table))
            tables << table;
    }
    for (QTextTable* table : tables) {
        QTextTableFormat format = table->format();
        format.setBorder(fmtPt(0.75));
        format.setBorderBrush(QColor(0x88, 0x88, 0x88));
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderCollapse(true);
        format.setCellSpacing(0);
        format.setCellPadding(fmtPt(3.5));
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setTopMargin(fmtPt(2));
        // The room under a table is the next paragraph's: a table's own bottom
        // margin reaching into the next page would make it repeat its header there,
        // over the text, with no row under it.
        format.setBottomMargin(0);
        if (const QTextBlock next = m_document->findBlock(table->lastPosition() + 1); next.isValid()) {
            QTextBlockFormat spaced = next.blockFormat();
            spaced.setTopMargin(std::max(spaced.topMargin(), fmtPt(10)));
            QTextCursor(next).setBlockFormat(spaced);
        }
        // The first row is the header: the table never starts on the foot of a
        // page with its header alone, and every page it runs on repeats it.
        format.setHeaderRowCount(1);
        // Two-column tables name something on the left and explain it on the right.
        if (table->columns() == 2) {
            format.setColumnWidthConstraints(
                {QTextLength(QTextLength::PercentageLength, 32), QTextLength(QTextLength::PercentageLength, 68)});
        }
        table->setFormat(format);
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat cellFormat = cell.format();
            cellFormat.setBackground(kTableHeaderBackground);
            cell.setFormat(cellFormat);
            QTextCursor cursor = cell.firstCursorPosition();
            cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
            QTextCharFormat bold;
            bold.setFontWeight(QFont::Bold);
            cursor.mergeCharFormat(bold);
        }
    }
}

void ManualBook::numberHeadings() {
    int chapter = 0;
    int section = 0;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        QString number;
        if (level == 2) {
            ++chapter;
            section = 0;
            number = QString::number(chapter);
        } else if (level == 3 && chapter > 0) {
            ++section;
            number = QStringLiteral("%1.%2").arg(chapter).arg(section);
        }
        if (number.isEmpty())
            continue;
        QTextCursor cursor(block);
        cursor.insertText(number + u"\u3000");
    }
}

void ManualBook::insertContents() {
    QList<QTextBlock> headings;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level >= 2 && level <= kDeepestContentsLevel)
            headings << block;
    }
    if (headings.isEmpty() || !headings.first().previous().isValid())
        return;

    // The contents go on a page of their own after the cover; the first chapter
    // then begins a new page.
    QTextBlock firstChapter = headings.first();
    QTextBlockFormat chapterFormat = firstChapter.blockFormat();
    chapterFormat.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor(firstChapter).setBlockFormat(chapterFormat);

    QTextCursor cursor(firstChapter.previous());
    cursor.movePosition(QTextCursor::EndOfBlock);

    QTextBlockFormat titleFormat;
    titleFormat.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    titleFormat.setBottomMargin(fmtPt(8));
    titleFormat.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth, QTextLength());
    QTextCharFormat titleChars;
    titleChars.setFontFamilies({bodyFontFamily()});
    titleChars.setFontPointSize(14);
    titleChars.setFontWeight(QFont::Bold);
    titleChars.setForeground(kHeadingColor);
    cursor.insertBlock(titleFormat, titleChars);
    cursor.insertText(QStringLiteral("目次"), titleChars);

    // Each entry: the heading's text, a right-aligned tab, and its page number,
    // filled in once the pages are final (two digits are room enough).
    m_contents.clear();
    const double tabPosition = m_bodySize.width() / m_dpi * 96.0;
    for (const QTextBlock& heading : std::as_const(headings)) {
        const int level = heading.blockFormat().headingLevel();
        QTextBlockFormat entryFormat;
        // Tab positions count from the block's left margin.
        const double indent = level == 2 ? 0 : fmtPt(16);
        entryFormat.setLeftMargin(indent);
        entryFormat.setTabPositions({QTextOption::Tab(tabPosition - indent - fmtPt(1), QTextOption::RightTab)});
        entryFormat.setTopMargin(level == 2 ? fmtPt(5) : 0);
        entryFormat.setBottomMargin(fmtPt(1));
        QTextCharFormat entryChars;
        entryChars.setFontFamilies({bodyFontFamily()});
        entryChars.setFontPointSize(level == 2 ? 10.5 : 9.5);
        entryChars.setFontWeight(level == 2 ? QFont::Bold : QFont::Normal);
        cursor.insertBlock(entryFormat, entryChars);
        cursor.insertText(heading.text() + u"\t00", entryChars);
        m_contents << qMakePair(cursor.block(), heading);
    }
}

void ManualBook::useFontGlyphsAsTheyAre() {
    // Shaping would put alternate glyphs (digits in Latin text, ligatures such as
    // "fi") in place of the characters' own. Those glyphs have no character of
    // their own, and the PDF would read "proﬁle" or lose the digits on copy and
    // search. Japanese and Latin text need no shaping.
    QTextCharFormat plain;
    plain.setFontStyleStrategy(QFont::PreferNoShaping);
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        QList<QTextFragment> fragments;
        for (auto it = block.begin(); !it.atEnd(); ++it)
            fragments << it.fragment();
        for (const QTextFragment& fragment : std::as_const(fragments)) {
            // An image is no text, and its layout breaks without shaping.
            if (fragment.charFormat().isImageFormat())
                continue;
            QTextCursor span(m_document.get());
            span.setPosition(fragment.position());
            span.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            span.mergeCharFormat(plain);
        }
    }
}

void ManualBook::dropEmptyCellParagraphs() {
    // The Markdown reader starts the first cell of a table that follows a code
    // block with an empty paragraph, which makes that cell a line taller than its
    // neighbours and pushes its text down. A cell's text is its own paragraphs.
    QList<int> empty;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        QTextTable* table = QTextCursor(block).currentTable();
        if (table && block.length() == 1 && table->cellAt(block.position()).lastPosition() > block.position())
            empty << block.position();
    }
    // From the end, so that the positions still to come stay where they are.
    for (auto it = empty.crbegin(); it != empty.crend(); ++it) {
        QTextCursor cursor(m_document.get());
        cursor.setPosition(*it);
        cursor.deleteChar(); // the cell's next paragraph moves up into its place
    }
}

double ManualBook::textTop(const QTextBlock& block) const {
    const QRectF rect = m_document->documentLayout()->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    return rect.top() + (layout->lineCount() > 0 ? layout->lineAt(0).y() : 0);
}

double ManualBook::textBottom(const QTextBlock& block) const {
    const QRectF rect = m_document->documentLayout()->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    if (layout->lineCount() == 0)
        return rect.bottom();
    const QTextLine last = layout->lineAt(layout->lineCount() - 1);
    return rect.top() + last.y() + last.height();
}

int ManualBook::pageAt(double y) const {
    return int(std::floor(y / m_bodySize.height()));
}

bool ManualBook::onOnePage(const QTextBlock& first, const QTextBlock& last) const {
    // A hair above the bottom: text that ends exactly on the page's edge is on it.
    return pageAt(textTop(first)) == pageAt(textBottom(last) - 0.01);
}

QTextBlock ManualBook::firstTextAfter(const QTextBlock& leadIn) const {
    QTextBlock block = leadIn.next();
    while (block.isValid() && block.blockFormat().headingLevel() > 0)
        block = block.next();
    if (!block.isValid())
        return leadIn;
    if (QTextTable* table = QTextCursor(block).currentTable()) {
        // A table's first paragraph is its header with the first row under it.
        const int row = std::min(table->format().headerRowCount(), table->rows() - 1);
        QTextBlock lowest = table->cellAt(row, 0).lastCursorPosition().block();
        for (int column = 1; column < table->columns(); ++column) {
            const QTextBlock end = table->cellAt(row, column).lastCursorPosition().block();
            if (textBottom(end) > textBottom(lowest))
                lowest = end;
        }
        return lowest;
    }
    if (isImageOnlyBlock(block))
        return figureEnd(block);
    // A paragraph that leads in to a table or a quoted text brings it along.
    if (block.blockFormat().headingLevel() == 0 && !isCodeBlock(block) && leadsIn(block))
        return firstTextAfter(block);
    while (isCodeBlock(block) && block.next().isValid() && isCodeBlock(block.next()))
        block = block.next();
    return block;
}

bool ManualBook::keepWithText(const QTextBlock& block) {
    if (onOnePage(block, firstTextAfter(block)))
        return false;
    breakBefore(block);
    return true;
}

bool ManualBook::keepCodeWhole(const QTextBlock& first) {
    if (isCodeBlock(first.previous()))
        return false;
    QTextBlock last = first;
    while (last.next().isValid() && isCodeBlock(last.next()))
        last = last.next();
    // A quoted message or a file's lines read as one; a long listing may break.
    if (onOnePage(first, last) || textBottom(last) - textTop(first) > m_bodySize.height() / 2)
        return false;
    breakBefore(first);
    return true;
}

void ManualBook::breakBefore(const QTextBlock& block) {
    QTextBlockFormat format = block.blockFormat();
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCursor(block).setBlockFormat(format);
}

bool ManualBook::fillRoomAboveFigure(const QTextBlock& image) {
    const QTextBlock end = figureEnd(image);
    // Where the figure would start, were it not pushed to the next page.
    const double top = m_document->documentLayout()->blockBoundingRect(image).top();
    const double pageBottom = (pageAt(top) + 1) * m_bodySize.height();
    const double height = textBottom(end) - textTop(image);
    if (top + height <= pageBottom)
        return false;
    // A little too tall for the room left on the page: it shrinks to fit, once
    // (with a hair to spare).
    QTextImageFormat picture = imageFormatOf(image);
    const double pictureHeight = picture.height() / 96.0 * m_dpi;
    const double scale = 1 - (top + height - pageBottom + 1) / pictureHeight;
    if (scale >= kSmallestFigureScale && !picture.boolProperty(kShrunkProperty)) {
        picture.setWidth(picture.width() * scale);
        picture.setHeight(picture.height() * scale);
        picture.setProperty(kShrunkProperty, true);
        QTextCursor cursor(image);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture);
        return true;
    }
    // Else the text after it fills that room, one part at a time, and the
    // figure goes to the next page; a part that does not fit there whole goes
    // back after the figure.
    QTextBlock figure = image;
    if (const QTextBlock unitLast = movableUnitFrom(end.next()); unitLast.isValid()) {
        const QTextBlock before = image.previous();
        figure = moveFigureAfter(image, unitLast);
        if (pageAt(textBottom(unitLast) - 0.01) == pageAt(top))
            return true;
        figure = moveFigureAfter(figure, before);
    }
    breakBefore(figure);
    return true;
}

QTextBlock ManualBook::moveFigureAfter(const QTextBlock& image, const QTextBlock& last) {
    const QTextBlock end = figureEnd(image);
    const QTextBlockFormat imageBlock = image.blockFormat();
    const QTextImageFormat picture = imageFormatOf(image);
    const bool captioned = end != image;
    const QTextBlockFormat captionBlock = end.blockFormat();
    const QTextCharFormat captionChars = end.begin().atEnd() ? end.charFormat() : end.begin().fragment().charFormat();
    const QString caption = end.text();

    // Put it in at its new place first, then take the old one out (a block keeps
    // its identity while text is put in elsewhere). After a table, the paragraph
    // that follows the table is split to make the figure's paragraph.
    QTextCursor cursor(last);
    if (inTable(last)) {
        const QTextBlock after = last.next();
        cursor = QTextCursor(after);
        cursor.insertBlock(after.blockFormat(), after.charFormat());
        cursor.setPosition(after.position());
        cursor.setBlockFormat(imageBlock);
    } else {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(imageBlock);
    }
    cursor.insertImage(picture);
    const QTextBlock moved = cursor.block();
    if (captioned) {
        cursor.insertBlock(captionBlock, captionChars);
        cursor.insertText(caption, captionChars);
    }
    removeFigure(image);
    return moved;
}

void ManualBook::removeFigure(const QTextBlock& image) {
    const QTextBlock end = figureEnd(image);
    const QTextBlock before = image.previous();
    QTextCursor cursor(m_document.get());
    if (before.isValid() && !inTable(before)) {
        // From the end of the paragraph before it to the end of its caption.
        cursor.setPosition(before.position() + before.length() - 1);
        cursor.setPosition(end.position() + end.length() - 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        return;
    }
    // Right after a table, whose end must stay: from the figure's start to the
    // start of the paragraph after it, which then gets its own format back.
    const QTextBlock after = end.next();
    const QTextBlockFormat format = after.isValid() ? after.blockFormat() : QTextBlockFormat();
    const QTextCharFormat chars = after.isValid() ? after.charFormat() : QTextCharFormat();
    cursor.setPosition(image.position());
    cursor.setPosition(after.isValid() ? after.position() : end.position() + end.length() - 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.setBlockFormat(format);
    cursor.setBlockCharFormat(chars);
}

void ManualBook::paginate() {
    // One pass from the start: a change moves only what comes after it, so the
    // pass goes on from the block it changed (which now starts a page, or is the
    // text that took a figure's place). Every heading and lead-in then has its
    // first paragraph on its page, every quoted message is whole on one page, and
    // no figure leaves a room that the text after it could fill.
    QTextBlock block = m_document->begin();
    while (block.isValid()) {
        const QTextBlockFormat format = block.blockFormat();
        const int position = block.position();
        bool changed = false;
        if (!(format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) && !inTable(block)) {
            if (leadsIn(block))
                changed = keepWithText(block);
            else if (isCodeBlock(block))
                changed = keepCodeWhole(block);
            else if (isImageOnlyBlock(block))
                changed = fillRoomAboveFigure(block);
        }
        block = changed ? m_document->findBlock(position) : block.next();
    }
}

int ManualBook::pageOf(const QTextBlock& block) const {
    return pageAt(textTop(block)) + 1;
}

void ManualBook::fillContentsPageNumbers() {
    for (const auto& [entry, heading] : std::as_const(m_contents)) {
        const int tab = entry.text().lastIndexOf(u'\t');
        QTextCursor cursor(entry);
        cursor.setPosition(entry.position() + tab + 1);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(QString::number(pageOf(heading)));
    }
}

int ManualBook::pageCount() const {
    return m_document->pageCount();
}

void ManualBook::print(QPagedPaintDevice& device) {
    QPainter painter(&device);
    const int pages = pageCount();
    const double pageHeight = m_bodySize.height();
    QFont footerFont(bodyFontFamily());
    footerFont.setPointSizeF(8.5);
    footerFont.setStyleStrategy(QFont::PreferNoShaping);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            device.newPage();
        painter.save();
        painter.translate(0, -page * pageHeight);
        m_document->drawContents(&painter, QRectF(0, page * pageHeight, m_bodySize.width(), pageHeight));
        painter.restore();

        const QRectF footer(0, pageHeight, m_bodySize.width(), mm(m_geometry.footerHeight));
        painter.setPen(QPen(kRuleColor, pt(0.5)));
        painter.drawLine(QPointF(0, footer.top() + mm(2)), QPointF(footer.width(), footer.top() + mm(2)));
        painter.setFont(footerFont);
        painter.setPen(kCaptionColor);
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignBottom, m_title);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("%1 / %2").arg(page + 1).arg(pages));
    }
}

} // namespace velkoria::manual
