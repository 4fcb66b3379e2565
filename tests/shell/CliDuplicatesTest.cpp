#include "CliRun.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"

#include <QTemporaryDir>
#include <QTest>

using TestInput::writeFile;

class CliDuplicatesTest : public QObject {
    Q_OBJECT
private slots:
    void importSkipsOrListsDuplicates();
};

void CliDuplicatesTest::importSkipsOrListsDuplicates()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同'),(2,0,'其他')")));
    QTemporaryDir first, second;
    writeFile(first.path(), QStringLiteral("a.txt"), "alpha");
    writeFile(first.path(), QStringLiteral("b.txt"), "beta");
    QCOMPARE(cli(home.folder(), {QStringLiteral("import"), QStringLiteral("合同"), first.path()}).status, 0);
    // One held already, two alike in the run, one new.
    writeFile(second.path(), QStringLiteral("c.txt"), "alpha");
    writeFile(second.path(), QStringLiteral("d.txt"), "gamma");
    writeFile(second.path(), QStringLiteral("e.txt"), "gamma");
    writeFile(second.path(), QStringLiteral("f.txt"), "delta");

    Ran r = cli(home.folder(),
                {QStringLiteral("import"), QStringLiteral("其他"), second.path(), QStringLiteral("--skip-duplicates")});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("跳过内容相同的文件2个,成功导入2个")), qPrintable(r.out + r.err));
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from wj where fz='其他'")).toInt(), 2);

    // Without the flag they are stored, each listed with its holder.
    r = cli(home.folder(), {QStringLiteral("import"), QStringLiteral("其他"), second.path()});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("成功导入4个")), qPrintable(r.out + r.err));
    QVERIFY2(r.out.contains(QStringLiteral("c.txt: 该文件与已有文件内容相同: 文件编号")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("名称 a, 分组 合同")), qPrintable(r.out));
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from wj where fz='其他'")).toInt(), 6);
}

KV_REGISTER_TEST(CliDuplicatesTest)
#include "CliDuplicatesTest.moc"
