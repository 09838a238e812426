// Build-time tool: writes the data folders that the bubble view, the HTML
// export and the printer read beside the programs.
//
//   velloran-make-view-data --out DIR --css FILE [--font FONT] [--sources FILE]
//
// DIR/kikbb     style.css, bb1_01.png … bb1_09.png, bb2_01.png … bb2_09.png,
//               empty_photo.jpg
// DIR/emoji     one image per code point the emoji conversion can produce,
//               named by its upper-case hex; private-use codes are drawn as
//               the standard emoji EmojiSources.txt maps them to
// DIR/kikemoji  the Kik emoticons, named by the lower-case hex of the token
#include "BubbleImages.h"
#include "EmojiSet.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QRawFont>
#include <QStringList>

#include <cstdio>

namespace {

constexpr int kEmojiSize = 32;

bool save(const QImage &image, const QString &path)
{
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QString argument(const QStringList &args, const QString &name)
{
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
}

QImage placeholder(uint cp)
{
    QImage image(kEmojiSize, kEmojiSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x9a, 0x9a, 0xa6));
    p.setBrush(QColor(0xee, 0xee, 0xf2));
    p.drawRoundedRect(QRectF(1.5, 1.5, kEmojiSize - 3, kEmojiSize - 3), 5, 5);
    QFont font;
    font.setPixelSize(8);
    p.setFont(font);
    p.drawText(QRect(0, 0, kEmojiSize, kEmojiSize), Qt::AlignCenter | Qt::TextWrapAnywhere,
               QString::number(cp, 16).toUpper());
    return image;
}

// The symbol in a plain text font (without falling back to other fonts),
// or a null image when that font has no glyph for it.
QImage textGlyph(uint cp)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleStrategy(QFont::NoFontMerging);
    font.setPixelSize(kEmojiSize - 6);
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid() || !raw.supportsCharacter(cp))
        return QImage();
    QImage image(kEmojiSize, kEmojiSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font);
    p.setPen(QColor(0x30, 0x30, 0x38));
    const char32_t c = cp;
    p.drawText(image.rect(), Qt::AlignCenter, QString::fromUcs4(&c, 1));
    return image;
}

class EmojiPainter
{
public:
    explicit EmojiPainter(const QString &fontFile)
    {
        if (fontFile.isEmpty())
            return;
        const int id = QFontDatabase::addApplicationFont(fontFile);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty()) {
            std::fprintf(stderr, "cannot load the emoji font %s\n", qPrintable(fontFile));
            return;
        }
        m_font = QFont(families.first());
        m_font.setPixelSize(109); // the size of the font's bitmap strike
        m_raw = QRawFont(fontFile, 109);
        m_ok = m_raw.isValid();
    }

    // The emoji drawn from the font, or a null image when it has no glyph.
    QImage draw(const QString &text) const
    {
        const QList<uint> points = text.toUcs4();
        if (!m_ok || points.isEmpty() || !m_raw.supportsCharacter(points.first()))
            return QImage();
        QImage big(136, 128, QImage::Format_ARGB32_Premultiplied);
        big.fill(Qt::transparent);
        {
            QPainter p(&big);
            p.setFont(m_font);
            p.drawText(QRect(0, 0, big.width(), big.height()), Qt::AlignCenter, text);
        }
        QRect used;
        for (int y = 0; y < big.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(big.constScanLine(y));
            for (int x = 0; x < big.width(); ++x) {
                if (qAlpha(line[x]) != 0)
                    used |= QRect(x, y, 1, 1);
            }
        }
        if (used.isEmpty())
            return QImage();
        const int side = qMax(used.width(), used.height());
        QImage square(side, side, QImage::Format_ARGB32_Premultiplied);
        square.fill(Qt::transparent);
        {
            QPainter p(&square);
            p.drawImage(QPoint((side - used.width()) / 2, (side - used.height()) / 2), big, used);
        }
        return square.scaled(kEmojiSize, kEmojiSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

private:
    QFont m_font;
    QRawFont m_raw;
    bool m_ok = false;
};

QString textOf(uint cp)
{
    const char32_t c = cp;
    QString text = QString::fromUcs4(&c, 1);
    if (cp < 0x10000)
        text += QChar(0xFE0F); // emoji presentation of symbols
    return text;
}

bool writeEmoji(QDir folder, const QString &fontFile, const QString &sourcesFile)
{
    QMap<uint, QString> privateUse;
    if (!sourcesFile.isEmpty()) {
        QFile file(sourcesFile);
        if (file.open(QIODevice::ReadOnly))
            privateUse = EmojiSet::parseEmojiSources(file.readAll());
        else
            std::fprintf(stderr, "cannot read %s\n", qPrintable(sourcesFile));
    }
    // Images of an earlier run that this one would not write go first.
    for (const QString &old : folder.entryList({QStringLiteral("*.png")}, QDir::Files))
        folder.remove(old);
    const EmojiPainter painter(fontFile);
    int drawn = 0;
    int fromText = 0;
    int placeholders = 0;
    for (uint cp : EmojiSet::producedCodePoints()) {
        const bool pua = cp >= 0xE000 && cp <= 0xE537;
        QImage image;
        if (pua) {
            if (privateUse.contains(cp))
                image = painter.draw(privateUse.value(cp));
        } else {
            image = painter.draw(textOf(cp));
        }
        // Every code point the conversion can produce gets an image, so that
        // no page links to a missing file: symbols the emoji font lacks are
        // drawn from a text font, the rest as a labelled placeholder.
        if (!image.isNull()) {
            ++drawn;
        } else if (!pua && !(image = textGlyph(cp)).isNull()) {
            ++fromText;
        } else {
            image = placeholder(cp);
            ++placeholders;
        }
        if (!save(image, folder.filePath(QString::number(cp, 16).toUpper() + QStringLiteral(".png"))))
            return false;
    }
    std::printf("emoji: %d drawn from the emoji font, %d from a text font, %d placeholders\n", drawn,
                fromText, placeholders);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString out = argument(args, QStringLiteral("--out"));
    const QString css = argument(args, QStringLiteral("--css"));
    if (out.isEmpty() || css.isEmpty()) {
        std::fprintf(stderr,
                     "usage: velloran-make-view-data --out DIR --css FILE [--font FONT] [--sources FILE]\n");
        return 2;
    }
    QDir root(out);
    for (const char *name : {"kikbb", "emoji", "kikemoji"}) {
        if (!root.mkpath(QString::fromLatin1(name))) {
            std::fprintf(stderr, "cannot create %s/%s\n", qPrintable(out), name);
            return 1;
        }
    }
    const QDir kikbb(root.filePath(QStringLiteral("kikbb")));
    QFile::remove(kikbb.filePath(QStringLiteral("style.css")));
    if (!QFile::copy(css, kikbb.filePath(QStringLiteral("style.css")))) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(css));
        return 1;
    }
    for (int side = 1; side <= 2; ++side) {
        const QList<QImage> pieces = BubbleImages::framePieces(side == 2);
        for (int i = 0; i < pieces.size(); ++i) {
            if (!save(pieces.at(i),
                      kikbb.filePath(
                          QStringLiteral("bb%1_%2.png").arg(side).arg(i + 1, 2, 10, QLatin1Char('0')))))
                return 1;
        }
    }
    if (!save(BubbleImages::emptyPhoto(), kikbb.filePath(QStringLiteral("empty_photo.jpg"))))
        return 1;
    const QDir kikemoji(root.filePath(QStringLiteral("kikemoji")));
    for (const BubbleImages::Emoticon &emoticon : BubbleImages::emoticons()) {
        const QString name = QString::fromLatin1(QByteArray(emoticon.token).toHex()) + QStringLiteral(".png");
        if (!save(BubbleImages::emoticonImage(emoticon), kikemoji.filePath(name)))
            return 1;
    }
    if (!writeEmoji(QDir(root.filePath(QStringLiteral("emoji"))), argument(args, QStringLiteral("--font")),
                    argument(args, QStringLiteral("--sources"))))
        return 1;
    return 0;
}
