#include "common/TestRegistry.h"
#include "common/WorkbookReader.h"

#include "platform/WorkbookWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class WorkbookWriterTest : public QObject {
    Q_OBJECT
private slots:
    void columnNames_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << 0 << "A";
        QTest::newRow("Z") << 25 << "Z";
        QTest::newRow("after Z") << 26 << "AA";
        QTest::newRow("AZ") << 51 << "AZ";
        QTest::newRow("BA") << 52 << "BA";
        QTest::newRow("last") << 16383 << "XFD";
    }
    void columnNames()
    {
        QFETCH(int, column);
        QFETCH(QString, name);
        QCOMPARE(WorkbookWriter::columnName(column), name);
    }

    void textsArriveAsGiven()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("book.xlsx"));
        WorkbookWriter w;
        QVERIFY(w.open(path, QStringLiteral("宋体")));
        const QStringList row = {QStringLiteral("0012"),
                                 QStringLiteral("12345678901234567890"),
                                 QStringLiteral("2024-01-02"),
                                 QStringLiteral("=1+1"),
                                 QStringLiteral("a<b&\"c\""),
                                 QStringLiteral("公司\\财务"),
                                 QString(),
                                 QStringLiteral(" lead and trail ")};
        QVERIFY(w.writeRow(row));
        QVERIFY(w.finish());
        QVERIFY(QFile::exists(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary left

        const WorkbookReader::Sheet s = WorkbookReader::read(path);
        QVERIFY(s.ok);
        QCOMPARE(s.rows.size(), 1);
        QStringList expected = row;
        expected.removeAt(6);  // an empty text is an empty cell
        QStringList got = s.rows.first();
        got.removeAll(QString());
        expected.removeAll(QString());
        QCOMPARE(got, expected);
        // Every cell carries the text format "@" (built-in number format 49)
        // and the font.
        QVERIFY(s.stylesXml.contains(QLatin1String("numFmtId=\"49\"")));
        QVERIFY(s.stylesXml.contains(QStringLiteral("宋体")));
        for (auto it = s.styles.cbegin(); it != s.styles.cend(); ++it)
            QVERIFY2(!it.value().isEmpty() && it.value() != QLatin1String("0"), qPrintable(it.key()));
    }

    void overlongCellIsCut()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.xlsx"));
        WorkbookWriter w;
        QVERIFY(w.open(path));
        QVERIFY(w.writeRow({QString(WorkbookWriter::MaxCellChars + 10, QLatin1Char('x')), QStringLiteral("short")}));
        QCOMPARE(w.cellsCut(), 1);
        QVERIFY(w.finish());
        QCOMPARE(WorkbookReader::read(path).cells.value(QStringLiteral("A1")).size(), WorkbookWriter::MaxCellChars);
    }

    void encodedLookingTextStaysLiteral()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("book.xlsx"));
        WorkbookWriter w;
        QVERIFY(w.open(path));
        const QStringList row = {QStringLiteral("_x0041_"), QStringLiteral("a_x005F_x00e9_b"),
                                 QStringLiteral("c\u0001d")};
        QVERIFY(w.writeRow(row));
        QVERIFY(w.finish());
        QCOMPARE(WorkbookReader::read(path).rows.value(0), row);
    }

    void failureLeavesNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/book.xlsx"));
        WorkbookWriter w;
        if (w.open(path)) {
            QVERIFY(w.writeRow({QStringLiteral("x")}));
            const Status s = w.finish();
            QVERIFY(!s);
            QCOMPARE(s.message(), WorkbookWriter::WriteFailed);
            QVERIFY(!s.detail().isEmpty());
        }
        QVERIFY(!QFile::exists(path));
    }

    void discardedWorkbookLeavesNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("book.xlsx"));
        {
            WorkbookWriter w;
            QVERIFY(w.open(path));
            QVERIFY(w.writeRow({QStringLiteral("x")}));
        }
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void replacesAnExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("book.xlsx"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        WorkbookWriter w;
        QVERIFY(w.open(path));
        QVERIFY(w.writeRow({QStringLiteral("new")}));
        QVERIFY(w.finish());
        QCOMPARE(WorkbookReader::read(path).cells.value(QStringLiteral("A1")), QStringLiteral("new"));
    }
};

KV_REGISTER_TEST(WorkbookWriterTest)
#include "WorkbookWriterTest.moc"
