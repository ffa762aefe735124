// velkoria-manual: renders the Markdown user manual to the PDF that the Help menu opens.
#include "manualbook.h"
#include "pdftextmap.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <cstdio>

using namespace velkoria::manual;

namespace {

void printLine(FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + u'\n'), stream);
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("velkoria-manual"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders the Velkoria user manual (Markdown) to an A4 PDF."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("source"), QStringLiteral("the manual's Markdown file (UTF-8)"));
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("the PDF file to write"));
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2) {
        printLine(stderr, QStringLiteral("usage: velkoria-manual SOURCE.md OUTPUT.pdf"));
        return 2;
    }

    // The manual is Japanese: without its font the PDF would show empty boxes.
    for (const QString& family : {bodyFontFamily(), monoFontFamily()}) {
        if (!QFontDatabase::hasFamily(family)) {
            printLine(stderr, QStringLiteral("velkoria-manual: font \"%1\" is not installed (Debian package "
                                             "fonts-noto-cjk)")
                                  .arg(family));
            return 1;
        }
    }

    ManualBook book;
    if (!book.load(arguments[0])) {
        printLine(stderr, QStringLiteral("velkoria-manual: cannot read %1").arg(book.errorText()));
        return 1;
    }

    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("velkoria-manual"));
        book.layout(writer, PageGeometry{});
        writer.setTitle(book.title());
        book.print(writer);
    }
    QByteArray bytes = pdf.data();
    mapRadicalsToIdeographs(bytes, radicalIdeographs(QRawFont::fromFont(QFont(bodyFontFamily()))));

    // Written to a temporary file and renamed at the end, so a failed run never
    // leaves a half-written manual behind.
    QSaveFile output(arguments[1]);
    if (!output.open(QIODevice::WriteOnly) || output.write(bytes) != bytes.size() || !output.commit()) {
        printLine(stderr,
                  QStringLiteral("velkoria-manual: cannot write %1: %2").arg(arguments[1], output.errorString()));
        return 1;
    }
    for (const QString& warning : book.warnings())
        printLine(stderr, QStringLiteral("velkoria-manual: note: %1").arg(warning));
    printLine(stdout, QStringLiteral("%1: %2 pages").arg(QFileInfo(arguments[1]).fileName()).arg(book.pageCount()));
    return 0;
}
