#include "common/TestInput.h"
#include "common/TestRegistry.h"

#include "platform/TextExtractor.h"
#include "platform/TextTokens.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace TextExtractor;

namespace {

using TestInput::docx;

QByteArray xlsx()
{
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    return TestInput::storedZip(
        {{"xl/sharedStrings.xml",
          "<sst " + ns + "><si><r><t>编</t></r><r><t>号</t></r><rPh><t>へん</t></rPh></si><si><t>金额</t></si></sst>"},
         {"xl/worksheets/sheet10.xml",
          "<worksheet " + ns + "><sheetData><row><c t=\"s\"><v>1</v></c></row></sheetData></worksheet>"},
         {"xl/worksheets/sheet2.xml",
          "<worksheet " + ns
              + "><sheetData><row><c t=\"s\"><v>0</v></c><c><f>1+1</f><v>42</v></c></row>"
                "<row><c t=\"inlineStr\"><is><t>合同</t></is></c></row></sheetData></worksheet>"}});
}

QByteArray odt()
{
    return TestInput::storedZip(
        {{"mimetype", "application/vnd.oasis.opendocument.text"},
         {"content.xml",
          "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
          "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>"
          "<text:h>标题</text:h><text:p>第<text:span>一</text:span>段<text:s text:c=\"2\"/>end</text:p>"
          "</office:text></office:body></office:document-content>"}});
}

QByteArray encode(const QString& s, QStringConverter::Encoding e, bool bom)
{
    QStringEncoder enc(e, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return enc.encode(s);
}

QByteArray gbk(const char* utf8)
{
    // GBK bytes of the few characters the tests use, written out so the
    // test needs no converter of its own.
    static const QHash<QByteArray, QByteArray> table = {
        {"合同编号", "\xBA\xCF\xCD\xAC\xB1\xE0\xBA\xC5"},
        {"档案", "\xB5\xB5\xB0\xB8"},
    };
    return table.value(utf8);
}

QFont chineseFont(int pixels)
{
    QFont f(QStringLiteral("Noto Sans CJK SC"));
    f.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei")});
    f.setPixelSize(pixels);
    return f;
}

// A PDF with a text layer, or with the text only as a picture (a scan).
QByteArray pdf(bool asPicture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter w(&buffer);
    w.setResolution(300);
    QPainter p(&w);
    if (asPicture) {
        QImage img(1800, 400, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter ip(&img);
        ip.setFont(chineseFont(150));
        ip.setPen(Qt::black);
        ip.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("合同编号"));
        ip.end();
        p.drawImage(QRect(100, 100, 1800, 400), img);
    } else {
        p.setFont(chineseFont(80));
        // Qt's PDF writer gives digits of this font no text, so none here.
        p.drawText(QPoint(100, 300), QStringLiteral("合同编号 Contract"));
        w.newPage();
        p.drawText(QPoint(100, 300), QStringLiteral("第二页"));
    }
    p.end();
    return bytes;
}

QByteArray picture()
{
    QImage img(1600, 360, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setFont(chineseFont(140));
    p.setPen(Qt::black);
    p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("档案管理"));
    p.end();
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    return bytes;
}

// A PDF whose standard security handler wants a user password the empty
// one does not match.
QByteArray encryptedPdf()
{
    const QList<QByteArray> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
                                       "<< /Filter /Standard /V 1 /R 2 /Length 40 /P -4 /O <" + QByteArray(64, '1')
                                           + "> /U <" + QByteArray(64, '2') + "> >>"};
    QByteArray out = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 5\n0000000000 65535 f \n";
    for (qsizetype i = 0; i < objects.size(); ++i) {
        xref += QByteArray::number(out.size()).rightJustified(10, '0') + " 00000 n \n";
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype at = out.size();
    out += xref + "trailer\n<< /Size 5 /Root 1 0 R /Encrypt 4 0 R /ID [<" + QByteArray(32, '3') + "> <"
        + QByteArray(32, '3') + ">] >>\nstartxref\n" + QByteArray::number(at) + "\n%%EOF\n";
    return out;
}

const QByteArray kOleHeader = QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0');

const QByteArray kRtf =
    "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}{\\f1\\fcharset0 Arial;}}"
    "{\\colortbl;\\red0\\green0\\blue0;}{\\*\\generator Riched20;}{\\info{\\title \\'b1\\'ea\\'cc\\'e2}}"
    "\\viewkind4\\uc1\\pard\\f0\\fs24 \\'ba\\'cf\\'cd\\'ac\\'b1\\'e0\\'ba\\'c5\\f1 : A-7\\par\n"
    "{\\*\\shppict{\\pict\\pngblip 89504e47}}\\f0\\u26723?\\u26696?\\tab \\{x\\}\\par}";

}  // namespace

class TextExtractorTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    ExtractSession m_session;  // one reader process for the whole table

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("KORVANE_EXTRACT", KV_EXTRACT);
    }

    // Every format read in the child process, as the indexer reads it.
    void readsEveryFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");  // normalized
        const int ok = int(ExtractStatus::Ok);
        const QString contract = QStringLiteral("合同编号");
        QTest::newRow("UTF-8") << "a.txt" << QStringLiteral("合同编号\r\nline").toUtf8() << ok << "合同编号 line";
        QTest::newRow("GBK") << "b.txt" << gbk("合同编号") + " A\n" + gbk("档案") << ok << "合同编号 a 档案";
        QTest::newRow("UTF-16LE BOM") << "c.txt" << encode(contract, QStringConverter::Utf16LE, true) << ok << contract;
        QTest::newRow("UTF-16BE") << "d.txt" << encode(contract, QStringConverter::Utf16BE, false) << ok << contract;
        QTest::newRow("UTF-16LE") << "e.txt" << encode(contract, QStringConverter::Utf16LE, false) << ok << contract;
        QTest::newRow("UTF-16LE mostly ASCII")
            << "e2.txt" << encode(QStringLiteral("Contract No. 7 合同"), QStringConverter::Utf16LE, false) << ok
            << "contract no. 7 合同";
        QTest::newRow("HTML meta GBK")
            << "f.html"
            << "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
               "<title>T</title><style>p{color:red}</style><script>var a='<p>x</p>';</script></head><body><p>"
                + gbk("档案") + "&amp;&#x5408;&lt;</p><!-- hidden --></body></html>"
            << ok << "t 档案&合<";
        QTest::newRow("RTF GBK") << "g.rtf" << kRtf << ok << "合同编号: a-7 档案 {x}";
        QTest::newRow("RTF saved as .doc") << "h.doc" << kRtf << ok << "合同编号: a-7 档案 {x}";
        QTest::newRow("PDF") << "i.pdf" << pdf(false) << ok << "合同编号 contract 第二页";
        QTest::newRow("docx")
            << "j.docx"
            << docx("<w:p><w:r><w:t>合</w:t></w:r><w:r><w:t xml:space=\"preserve\">同 </w:t></w:r><w:r><w:tab/>"
                    "<w:t>No</w:t></w:r><w:del><w:r><w:delText>删</w:delText></w:r></w:del>"
                    "<w:r><w:instrText>PAGE</w:instrText></w:r></w:p><w:p><w:r><w:t>第二段</w:t></w:r></w:p>")
            << ok << "合同 no 第二段";
        QTest::newRow("xlsx") << "k.xlsx" << xlsx() << ok << "编号 42 合同金额";
        QTest::newRow("odt") << "l.odt" << odt() << ok << "标题第一段 end";
        QTest::newRow("empty text") << "m.txt" << QByteArray(" \n\t") << int(ExtractStatus::Empty) << "";
        QTest::newRow("encrypted docx") << "n.docx" << kOleHeader << int(ExtractStatus::Encrypted) << "";
        QTest::newRow("encrypted PDF") << "n.pdf" << encryptedPdf() << int(ExtractStatus::Encrypted) << "";
        QTest::newRow("broken doc") << "o.doc" << kOleHeader << int(ExtractStatus::Unreadable) << "";
        QTest::newRow("broken xls") << "o.xls" << kOleHeader << int(ExtractStatus::Unreadable) << "";
        QTest::newRow("broken docx") << "o.docx" << QByteArray("PK\x03\x04 not really")
                                     << int(ExtractStatus::Unreadable) << "";
        QTest::newRow("broken PDF") << "p.pdf" << QByteArray("%PDF-1.4\n1 0 obj << /Type /Cat")
                                    << int(ExtractStatus::Unreadable) << "";
        QTest::newRow("picture without OCR") << "q.png" << picture() << int(ExtractStatus::Unsupported) << "";
        QTest::newRow("unknown type") << "r.xyz" << QByteArray("合同") << int(ExtractStatus::Unsupported) << "";
    }
    void readsEveryFormat()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(QString, text);
        const QString path = write(name, bytes);
        QVERIFY(!path.isEmpty());
        Limits limits;
        limits.timeLimitMs = 30000;
        const Result<Extracted> r = m_session.read(path, QString(), limits);
        QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
        QCOMPARE(statusName(r->status), statusName(ExtractStatus(status)));
        QCOMPARE(TextTokens::normalize(r->text), text);
        // In this process the same.
        const Result<Extracted> here = extract(path, QString(), limits);
        QVERIFY(here.ok());
        QCOMPARE(here->status, r->status);
        QCOMPARE(here->text, r->text);
    }

    void readsPicturesAndScansByOcr_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("picture") << "ocr.png" << picture() << "档案管理";
        QTest::newRow("scanned PDF") << "scan.pdf" << pdf(true) << "合同编号";
    }
    void readsPicturesAndScansByOcr()
    {
        if (!ocrAvailable())
            QSKIP("tesseract's chi_sim and eng data are not installed");
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = write(name, bytes);
        // Without OCR the file is left for when it is asked for.
        Result<Extracted> r = runInChild(path, QString(), Limits());
        QVERIFY(r.ok());
        QVERIFY(r->status == ExtractStatus::Unsupported || r->status == ExtractStatus::Empty);
        QVERIFY(r->needsOcr);
        Limits limits;
        limits.ocr = true;
        limits.timeLimitMs = 60000;
        r = runInChild(path, QString(), limits);
        QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
        QCOMPARE(r->status, ExtractStatus::Ok);
        QVERIFY(!r->needsOcr);
        QVERIFY2(TextTokens::normalize(r->text).contains(text), qPrintable(r->text));
    }

    void stopsAtTheLimits()
    {
        Limits limits;
        limits.maxTextChars = 10;
        Result<Extracted> r = extract(write("long.txt", QByteArray(1000, 'x')), QString(), limits);
        QVERIFY(r.ok());
        QCOMPARE(r->status, ExtractStatus::TooLarge);
        QCOMPARE(r->text, QString(10, u'x'));

        // A package that unpacks to more than allowed is not unpacked.
        limits = Limits();
        limits.maxUnpackedBytes = 4000;
        const QByteArray many = QByteArray("<w:p><w:r><w:t>合同</w:t></w:r></w:p>").repeated(200);
        r = runInChild(write("bomb.docx", docx(many)), QString(), limits);
        QVERIFY(r.ok());
        QCOMPARE(r->status, ExtractStatus::TooLarge);
    }

    // A reader that hangs is killed at the time limit and the next file is
    // read as usual by a new one; one that dies gives Unreadable.
    void killsALateOrDyingReader()
    {
        const QString good = write("good.txt", "合同");
        ExtractSession session;
        Result<Extracted> r = session.read(good, QString(), Limits());
        QVERIFY(r.ok());
        QCOMPARE(r->status, ExtractStatus::Ok);

        Limits late;
        late.timeLimitMs = 300;
        late.stallMs = 60000;
        QElapsedTimer t;
        t.start();
        r = session.read(good, QString(), late);
        QVERIFY(r.ok());
        QCOMPARE(r->status, ExtractStatus::TimedOut);
        QVERIFY(t.elapsed() < 10000);

        r = session.read(good, QString(), Limits());
        QVERIFY(r.ok());
        QCOMPARE(r->status, ExtractStatus::Ok);
        QCOMPARE(r->text, QStringLiteral("合同"));

        Limits small;
        small.memoryBytes = 16 * 1024 * 1024;  // too little to even start
        r = runInChild(good, QString(), small);
        QVERIFY(r.ok());
        QCOMPARE(r->status, ExtractStatus::Unreadable);
    }
};

KV_REGISTER_TEST(TextExtractorTest)
#include "TextExtractorTest.moc"
