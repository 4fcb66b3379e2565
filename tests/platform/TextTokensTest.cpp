#include "common/TestRegistry.h"

#include "platform/TextTokens.h"

#include <QSet>
#include <QTest>

using TextTokens::QueryToken;

class TextTokensTest : public QObject {
    Q_OBJECT
private slots:
    void normalizes_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("blank between Han") << "档 案"
                                           << "档案";
        QTest::newRow("line break between Han") << "合同\n编号"
                                                << "合同编号";
        QTest::newRow("ideographic space") << QStringLiteral("档\u3000\u3000案 室") << "档案室";
        QTest::newRow("full width") << "ＡＢＣ１２３"
                                    << "abc123";
        QTest::newRow("blanks elsewhere kept once") << "  Contract \t No.\r\n 7 合同 "
                                                    << "contract no. 7 合同";
        QTest::newRow("Han beside Latin keeps the blank") << "合同 ABC 编号"
                                                          << "合同 abc 编号";
        QTest::newRow("radicals of a PDF text layer") << "第⼆⻚"
                                                      << "第二页";
        QTest::newRow("extension B") << QStringLiteral("\U00020000 \U00020001")
                                     << QStringLiteral("\U00020000\U00020001");
    }
    void normalizes()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(TextTokens::normalize(in), out);
    }

    void countsTokens()
    {
        const QString text = TextTokens::normalize(QStringLiteral("合同编号：合同 Contract-7, contract"));
        QHash<QString, QPair<int, qsizetype>> got;
        for (const auto& t : TextTokens::tokens(text))
            got.insert(t.text, {t.count, t.first});
        QCOMPARE(got.value(QStringLiteral("合同")), qMakePair(2, qsizetype(0)));
        QCOMPARE(got.value(QStringLiteral("合")).first, 2);
        QCOMPARE(got.value(QStringLiteral("编号")).first, 1);
        QCOMPARE(got.value(QStringLiteral("contract")).first, 2);
        QCOMPARE(got.value(QStringLiteral("7")).first, 1);
        QVERIFY(!got.contains(QStringLiteral("号合")));  // the colon splits
        QVERIFY(!got.contains(QStringLiteral("：")));
        // A character beyond the BMP is one character, not two halves.
        const auto ext = TextTokens::tokens(QStringLiteral("\U00020000\U00020001"));
        QCOMPARE(ext.size(), 3);
        QCOMPARE(ext.at(1).text, QStringLiteral("\U00020000\U00020001"));
    }

    // A record holding the query is sure to hold every Exact token and a
    // token beginning with every Prefix token; the marks say what is left
    // for confirmation.
    void queryTokensAreInEveryHit_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("expected");  // text:match, match E P S W
        QTest::newRow("one Han") << "同"
                                 << "同:E";
        QTest::newRow("two Han") << "合同"
                                 << "合同:E";
        QTest::newRow("three Han") << "合同编"
                                   << "合同:E 同编:E";
        QTest::newRow("mixed") << "合同ABC123"
                               << "合同:E abc123:P";
        QTest::newRow("word inside") << "同abc123号"
                                     << "同:E abc123:E 号:E";
        QTest::newRow("ends in a word") << "编号 contr"
                                        << "编号:E contr:P";
        QTest::newRow("starts in a word") << "tract 编号"
                                          << "tract:S 编号:E";
        QTest::newRow("piece of a word") << "ontr"
                                         << "ontr:W";
        QTest::newRow("full width and blanks") << "合 同ＡＢＣ"
                                               << "合同:E abc:P";
        QTest::newRow("kana") << "カタカナ"
                              << "カタ:E タカ:E カナ:E";
        QTest::newRow("punctuation only") << "，、"
                                          << "";
        const QString longWord(TextTokens::kMaxWordUnits + 5, u'k');
        const QString clipped(TextTokens::kMaxWordUnits, u'k');
        QTest::newRow("long word inside") << "合" + longWord + "同"
                                          << "合:E " + clipped + ":P 同:E";
        QTest::newRow("long word at the start") << longWord + "同" << clipped + ":W 同:E";
    }
    void queryTokensAreInEveryHit()
    {
        QFETCH(QString, query);
        QFETCH(QString, expected);
        const QString q = TextTokens::normalize(query);
        const QList<QueryToken> qt = TextTokens::queryTokens(q);
        QStringList shown;
        for (const auto& t : qt)
            shown << t.text + QLatin1Char(':') + QLatin1Char("EPSW"[t.match]);
        QCOMPARE(shown.join(QLatin1Char(' ')), expected);

        const QStringList around = {
            QString(),           QStringLiteral("档案"), QStringLiteral("x"),  QStringLiteral("Sub"),
            QStringLiteral("9"), QStringLiteral(" "),    QStringLiteral("，"), QStringLiteral("\U00020000")};
        for (const QString& before : around) {
            for (const QString& after : around) {
                const QString record = TextTokens::normalize(before + query + after);
                QVERIFY(record.contains(q));
                QSet<QString> have;
                for (const auto& t : TextTokens::tokens(record))
                    have.insert(t.text);
                // And where: as far into the record's hit as into the query.
                QSet<QPair<QString, qsizetype>> placed;
                TextTokens::forEachToken(record, [&](QStringView token, bool, qsizetype offset) {
                    QCOMPARE(record.mid(offset, token.size()), token.toString());
                    placed.insert({token.toString(), offset});
                });
                const qsizetype start = record.indexOf(q);
                for (const auto& t : qt) {
                    bool found = false;
                    const qsizetype at = start + t.offset;
                    if (t.match == QueryToken::Exact)
                        found = have.contains(t.text) && placed.contains({t.text, at});
                    else if (t.match == QueryToken::Prefix)
                        found = std::any_of(placed.cbegin(), placed.cend(), [&](const QPair<QString, qsizetype>& h) {
                            return h.second == at && h.first.startsWith(t.text);
                        });
                    else
                        found = true;  // no promise made
                    QVERIFY2(found, qPrintable(record + QStringLiteral(" lacks ") + t.text));
                }
            }
        }
    }
};

KV_REGISTER_TEST(TextTokensTest)
#include "TextTokensTest.moc"
