// Turns the user guide's Markdown into the PDF shipped beside the program, with Qt alone: the
// Markdown reader of QTextDocument, its pagination and QPdfWriter, which embeds the fonts used.
//   guide-pdf <guide.md> <out.pdf>
// Pictures are found relative to the Markdown file and scaled down to the text width.
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Widest picture in document units (1/96 inch): the text width of A4 between 2 cm margins.
constexpr double kMaxImageWidth = 620.0;
constexpr const char* kLatinFamily = "DejaVu Sans";    // package fonts-dejavu-core
constexpr const char* kCjkFamily = "Noto Sans CJK JP"; // package fonts-noto-cjk

int Fail(const QString& text) {
    std::fprintf(stderr, "guide-pdf: %s\n", text.toLocal8Bit().constData());
    return 1;
}

// Loads every picture and gives it an explicit width no wider than the text, so a screenshot of
// the whole window fits the page; the height follows the picture's proportions.
bool LoadImages(QTextDocument& document, const QString& baseDir, QString& error) {
    struct Fit {
        int position;
        int length;
        QTextImageFormat format;
    };
    std::vector<Fit> fits;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString file = baseDir + QLatin1Char('/') + QUrl(format.name()).path();
            const QImage image(file);
            if (image.isNull()) {
                error = QStringLiteral("cannot read the picture %1").arg(file);
                return false;
            }
            // Handed over as a resource: the document would not look for the file on its own.
            document.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
            format.setWidth(std::min<double>(image.width(), kMaxImageWidth));
            fits.push_back({fragment.position(), fragment.length(), format});
        }
    }
    for (const Fit& fit : fits) {
        QTextCursor cursor(&document);
        cursor.setPosition(fit.position);
        cursor.setPosition(fit.position + fit.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(fit.format);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    // A build step: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 3)
        return Fail(QStringLiteral("usage: guide-pdf <guide.md> <out.pdf>"));
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[2]);

    QFile input(source);
    if (!input.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read %1").arg(source));
    const QString markdown = QString::fromUtf8(input.readAll());

    // Without the CJK face every Japanese glyph would come out as a box: refuse instead.
    for (const char* family : {kLatinFamily, kCjkFamily})
        if (!QFontDatabase::families().contains(QString::fromLatin1(family)))
            return Fail(QStringLiteral("the font %1 is missing").arg(QString::fromLatin1(family)));
    // Latin text in DejaVu Sans, the rest in Noto Sans CJK: Qt's PDF text map loses some digits
    // of the CJK face, so copied or searched numbers would not be found.
    QFont font;
    font.setFamilies({QString::fromLatin1(kLatinFamily), QString::fromLatin1(kCjkFamily)});
    font.setPointSizeF(10.5);

    const QString baseDir = QFileInfo(source).absolutePath();
    QTextDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(baseDir + QLatin1Char('/')));
    document.setDefaultFont(font);
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    document.setMetaInformation(QTextDocument::DocumentTitle,
                                QStringLiteral("KZ-DVOユーザーズガイド"));
    QString error;
    if (!LoadImages(document, baseDir, error))
        return Fail(error);

    QPdfWriter writer(target);
    writer.setTitle(QStringLiteral("KZ-DVOユーザーズガイド"));
    writer.setCreator(QStringLiteral("DVO"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    // print() paginates a copy of the document with 2 cm margins and numbers the pages.
    document.print(&writer);
    return 0;
}
