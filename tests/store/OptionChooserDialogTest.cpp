#include "common/TestRegistry.h"
#include "store/ui/OptionChooserDialog.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <QTimer>

namespace {

QListWidget* listOf(QWidget* w)
{
    return w->findChild<QListWidget*>(QStringLiteral("列表框1"));
}

void doubleClick(QListWidget* list, int row)
{
    const QPoint at = list->visualItemRect(list->item(row)).center();
    // As the system delivers it: a click, then the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class OptionChooserDialogTest : public QObject {
    Q_OBJECT
private slots:
    void showsOptionsUnderItsHeading();
    void doubleClickChooses();
    void singleClickDoesNotChoose();
    void enterChoosesCurrent();
    void closingChoosesNothing();
    void staticChoose();
};

void OptionChooserDialogTest::showsOptionsUnderItsHeading()
{
    const QStringList options = {QStringLiteral("§ 一"), QStringLiteral("♂"), QStringLiteral("O'Brien"),
                                 QStringLiteral("  ")};
    OptionChooserDialog dlg(options);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("双击选择项目"));
    QListWidget* list = listOf(&dlg);
    QVERIFY(list);
    QCOMPARE(list->count(), options.size());
    for (int i = 0; i < options.size(); ++i)
        QCOMPARE(list->item(i)->text(), options.at(i));
    QVERIFY(!dlg.chosen());
}

void OptionChooserDialogTest::doubleClickChooses()
{
    OptionChooserDialog dlg({QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")});
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    doubleClick(listOf(&dlg), 1);
    QCOMPARE(dlg.chosen().value_or(QString()), QStringLiteral("乙"));
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible());
}

void OptionChooserDialogTest::singleClickDoesNotChoose()
{
    OptionChooserDialog dlg({QStringLiteral("甲"), QStringLiteral("乙")});
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QListWidget* list = listOf(&dlg);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QVERIFY(!dlg.chosen());
    QVERIFY(dlg.isVisible());
}

void OptionChooserDialogTest::enterChoosesCurrent()
{
    OptionChooserDialog dlg({QStringLiteral("甲"), QStringLiteral("乙")});
    dlg.show();
    QListWidget* list = listOf(&dlg);
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(dlg.chosen().value_or(QString()), QStringLiteral("乙"));
}

void OptionChooserDialogTest::closingChoosesNothing()
{
    OptionChooserDialog dlg({QStringLiteral("甲")});
    dlg.show();
    QVERIFY(dlg.close());
    QVERIFY(!dlg.chosen());
    OptionChooserDialog empty({});
    empty.show();
    QTest::keyClick(listOf(&empty), Qt::Key_Return);
    QVERIFY(!empty.chosen());
    QVERIFY(empty.isVisible());
}

void OptionChooserDialogTest::staticChoose()
{
    QTimer::singleShot(0, [] {
        if (auto* dlg = qobject_cast<OptionChooserDialog*>(QApplication::activeModalWidget()))
            doubleClick(listOf(dlg), 2);
    });
    QCOMPARE(OptionChooserDialog::choose({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("♂ c")})
                 .value_or(QString()),
             QStringLiteral("♂ c"));
    QTimer::singleShot(0, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    QVERIFY(!OptionChooserDialog::choose({QStringLiteral("a")}));
}

KV_REGISTER_TEST(OptionChooserDialogTest)
#include "OptionChooserDialogTest.moc"
