#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "listing/ui/RenameFieldsWindow.h"
#include "store/DataStore.h"
#include "store/FieldOptions.h"
#include "listing/ui/FieldOptionsWindow.h"
#include "common/TestInput.h"

using TestInput::typeText;

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QStringList listed(QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

struct Units {
    explicit Units(QWidget* w)
        : fields(w->findChild<QComboBox*>(QStringLiteral("组合框1"))),
          options(w->findChild<QListWidget*>(QStringLiteral("列表框1"))),
          edit(w->findChild<QLineEdit*>(QStringLiteral("编辑框1"))),
          insert(w->findChild<QPushButton*>(QStringLiteral("插入项目按钮"))),
          remove(w->findChild<QPushButton*>(QStringLiteral("删除按钮"))),
          save(w->findChild<QPushButton*>(QStringLiteral("保存按钮"))),
          close(w->findChild<QPushButton*>(QStringLiteral("关闭按钮"))),
          rename(w->findChild<QAbstractButton*>(QStringLiteral("字段改名超级按钮")))
    {
    }
    bool ok() const { return fields && options && edit && insert && remove && save && close && rename; }
    void choose(int bh) { fields->setCurrentIndex(fields->findData(bh)); }
    void add(const QString& text)
    {
        typeText(edit, text);
        QTest::mouseClick(insert, Qt::LeftButton);
    }
    QComboBox* fields;
    QListWidget* options;
    QLineEdit* edit;
    QPushButton* insert;
    QPushButton* remove;
    QPushButton* save;
    QPushButton* close;
    QAbstractButton* rename;
};

}  // namespace

class FieldOptionsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void opensWithFieldsAndNoChoice();
    void choosingShowsOptions();
    void insertDeleteSave();
    void saveWithoutFieldIsRefused();
    void emptyListIsRefused();
    void closingDropsUnsavedChanges();
    void switchingFieldDropsUnsavedChanges();
    void failedSaveKeepsOldList();
    void typedOptionsRoundTrip_data();
    void typedOptionsRoundTrip();
    void separatorCannotBeTyped();
    void renameRefillsTitles();
    void grabPicture();
};

void FieldOptionsWindowTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("标签1") << "标签1"
                           << "" << QRect(8, 8, 80, 24);
    QTest::newRow("组合框1") << "组合框1"
                             << "" << QRect(88, 8, 120, 20);
    QTest::newRow("字段改名超级按钮") << "字段改名超级按钮"
                                      << "" << QRect(232, 8, 80, 24);
    QTest::newRow("列表框1") << "列表框1"
                             << "" << QRect(0, 40, 208, 280);
    QTest::newRow("外形框1") << "外形框1"
                             << "" << QRect(216, 40, 120, 232);
    QTest::newRow("编辑框1") << "编辑框1"
                             << "外形框1" << QRect(8, 8, 104, 24);
    QTest::newRow("插入项目按钮") << "插入项目按钮"
                                  << "外形框1" << QRect(16, 48, 80, 24);
    QTest::newRow("删除按钮") << "删除按钮"
                              << "外形框1" << QRect(16, 88, 80, 24);
    QTest::newRow("保存按钮") << "保存按钮"
                              << "外形框1" << QRect(16, 128, 80, 24);
    QTest::newRow("关闭按钮") << "关闭按钮"
                              << "外形框1" << QRect(16, 168, 80, 24);
}

void FieldOptionsWindowTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    TestHome home;
    FieldOptionsWindow w(home.store());
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("字段选项设置"));
    QCOMPARE(w.frameGeometry().size(), QSize(348, 352));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    auto* unit = w.findChild<QWidget*>(name);
    QVERIFY2(unit, qPrintable(name));
    QCOMPARE(unit->geometry(), geometry);
    if (parentName.isEmpty())
        QCOMPARE(unit->parentWidget(), &w);
    else
        QCOMPARE(unit->parentWidget()->objectName(), parentName);
}

void FieldOptionsWindowTest::opensWithFieldsAndNoChoice()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("update xx set xm='密级' where bh=6")));
    QVERIFY(s.execute(QStringLiteral("update xx set xm='保管期限' where bh=9")));
    FieldOptionsWindow w(s);
    Units u(&w);
    QVERIFY(u.ok());
    QCOMPARE(u.fields->count(), 12);
    QVERIFY(!u.fields->isEditable());
    QCOMPARE(u.fields->itemText(0), QStringLiteral("密级"));
    QCOMPARE(u.fields->itemData(0).toInt(), 6);
    QCOMPARE(u.fields->itemText(3), QStringLiteral("保管期限"));
    QCOMPARE(u.fields->itemData(11).toInt(), 17);
    QCOMPARE(u.fields->currentIndex(), -1);
    QCOMPARE(w.chosenField(), 0);
    QCOMPARE(u.options->count(), 0);
    QCOMPARE(w.findChild<QWidget*>(QStringLiteral("标签1"))->property("text").toString(),
             QStringLiteral("选择字段项目"));
    QCOMPARE(u.rename->text(), QStringLiteral("字段改名"));
    QCOMPARE(u.insert->text(), QStringLiteral("插入项目"));
    QCOMPARE(u.remove->text(), QStringLiteral("删除"));
    QCOMPARE(u.save->text(), QStringLiteral("保存"));
    QCOMPARE(u.close->text(), QStringLiteral("关闭"));
}

void FieldOptionsWindowTest::choosingShowsOptions()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(FieldOptions::save(s, 7, {QStringLiteral("秘密"), QStringLiteral("机密"), QStringLiteral("绝密")}));
    FieldOptionsWindow w(s);
    Units u(&w);
    u.choose(7);
    QCOMPARE(w.chosenField(), 7);
    QCOMPARE(listed(u.options), (QStringList{QStringLiteral("秘密"), QStringLiteral("机密"), QStringLiteral("绝密")}));
    u.choose(8);
    QCOMPARE(u.options->count(), 0);
}

void FieldOptionsWindowTest::insertDeleteSave()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    FieldOptionsWindow w(s);
    w.show();
    Units u(&w);
    u.choose(6);
    u.add(QStringLiteral("甲"));
    u.add(QStringLiteral("乙"));
    u.add(QStringLiteral("丙"));
    QVERIFY(u.edit->text().isEmpty());
    QCOMPARE(listed(u.options), (QStringList{QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")}));
    // Nothing is stored before "保存".
    QVERIFY(FieldOptions::options(s, 6).value().isEmpty());
    // Empty text adds nothing.
    QTest::mouseClick(u.insert, Qt::LeftButton);
    QCOMPARE(u.options->count(), 3);
    // Delete the selected option.
    u.options->setCurrentRow(1);
    QTest::mouseClick(u.remove, Qt::LeftButton);
    QCOMPARE(listed(u.options), (QStringList{QStringLiteral("甲"), QStringLiteral("丙")}));
    // Delete with nothing selected removes nothing.
    u.options->clearSelection();
    QTest::mouseClick(u.remove, Qt::LeftButton);
    QCOMPARE(u.options->count(), 2);
    QTest::mouseClick(u.save, Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{QStringLiteral("信息已保存!")});
    QCOMPARE(p.lastTitle(), QStringLiteral("成功"));
    QCOMPARE(FieldOptions::options(s, 6).value(), (QStringList{QStringLiteral("甲"), QStringLiteral("丙")}));
    // Other fields are untouched.
    QVERIFY(FieldOptions::options(s, 7).value().isEmpty());
}

void FieldOptionsWindowTest::saveWithoutFieldIsRefused()
{
    TestHome home;
    ScriptedPrompter p;
    FieldOptionsWindow w(home.store());
    w.show();
    Units u(&w);
    u.add(QStringLiteral("x"));
    QTest::mouseClick(u.save, Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{QStringLiteral("您没有选择字段项目!")});
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from xx where nr<>''")).toInt(), 0);
}

void FieldOptionsWindowTest::emptyListIsRefused()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(FieldOptions::save(s, 10, {QStringLiteral("old")}));
    ScriptedPrompter p;
    FieldOptionsWindow w(s);
    w.show();
    Units u(&w);
    u.choose(10);
    u.options->setCurrentRow(0);
    QTest::mouseClick(u.remove, Qt::LeftButton);
    QCOMPARE(u.options->count(), 0);
    QTest::mouseClick(u.save, Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{QStringLiteral("没有内容可以保存!")});
    QCOMPARE(FieldOptions::options(s, 10).value(), QStringList{QStringLiteral("old")});
}

void FieldOptionsWindowTest::closingDropsUnsavedChanges()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(FieldOptions::save(s, 6, {QStringLiteral("a"), QStringLiteral("b")}));
    ScriptedPrompter p;
    {
        FieldOptionsWindow w(s);
        w.show();
        Units u(&w);
        u.choose(6);
        u.add(QStringLiteral("c"));
        u.options->setCurrentRow(0);
        QTest::mouseClick(u.remove, Qt::LeftButton);
        QTest::mouseClick(u.close, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Rejected));
    }
    QVERIFY(p.shown().isEmpty());
    QCOMPARE(FieldOptions::options(s, 6).value(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    FieldOptionsWindow again(s);
    Units u(&again);
    u.choose(6);
    QCOMPARE(listed(u.options), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

void FieldOptionsWindowTest::switchingFieldDropsUnsavedChanges()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    FieldOptionsWindow w(s);
    Units u(&w);
    u.choose(6);
    u.add(QStringLiteral("unsaved"));
    u.choose(7);
    u.choose(6);
    QCOMPARE(u.options->count(), 0);
    QVERIFY(FieldOptions::options(s, 6).value().isEmpty());
}

void FieldOptionsWindowTest::failedSaveKeepsOldList()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(FieldOptions::save(s, 6, {QStringLiteral("old")}));
    ScriptedPrompter p;
    FieldOptionsWindow w(s);
    w.show();
    Units u(&w);
    u.choose(6);
    u.add(QStringLiteral("new"));
    s.failNextStatements(1, QStringLiteral("update xx"));
    QTest::mouseClick(u.save, Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{FieldOptionsWindow::SaveFailedMessage});
    QCOMPARE(FieldOptions::options(s, 6).value(), QStringList{QStringLiteral("old")});
    // The list stays in the window; a second try stores it.
    QTest::mouseClick(u.save, Qt::LeftButton);
    QCOMPARE(p.messages().last(), QStringLiteral("信息已保存!"));
    QCOMPARE(FieldOptions::options(s, 6).value(), (QStringList{QStringLiteral("old"), QStringLiteral("new")}));
}

void FieldOptionsWindowTest::typedOptionsRoundTrip_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::newRow("quotes") << QStringList{QStringLiteral("O'Brien"), QStringLiteral("\"引号\""), QStringLiteral("''")};
    QTest::newRow("blanks") << QStringList{QStringLiteral("  前后空格  "), QStringLiteral("a  b"), QStringLiteral(" ")};
    QTest::newRow("symbols") << QStringList{QStringLiteral("§"), QStringLiteral("♂"), QStringLiteral("♀§♂"),
                                            QStringLiteral("100%_!")};
    QTest::newRow("separators") << QStringList{QStringLiteral("a,b"), QStringLiteral("c;d"), QStringLiteral("e|f"),
                                               QStringLiteral("g\\h")};
    QTest::newRow("sql") << QStringList{QStringLiteral("x'); delete from xx; --")};
    QTest::newRow("same twice") << QStringList{QStringLiteral("同"), QStringLiteral("同")};
}

void FieldOptionsWindowTest::typedOptionsRoundTrip()
{
    QFETCH(QStringList, typed);
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    {
        FieldOptionsWindow w(s);
        w.show();
        Units u(&w);
        u.choose(11);
        for (const QString& t : typed)
            u.add(t);
        QCOMPARE(listed(u.options), typed);
        QTest::mouseClick(u.save, Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList{QStringLiteral("信息已保存!")});
    }
    QCOMPARE(FieldOptions::options(s, 11).value(), typed);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from xx")).toInt(), 12);
    FieldOptionsWindow again(s);
    Units u(&again);
    u.choose(11);
    QCOMPARE(listed(u.options), typed);
}

void FieldOptionsWindowTest::separatorCannotBeTyped()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    FieldOptionsWindow w(s);
    w.show();
    Units u(&w);
    u.choose(6);
    // Pasted text with control characters: they are dropped, the rest kept.
    u.edit->setText(QStringLiteral("a") + FieldOptions::Separator + QStringLiteral("b\tc"));
    QTest::mouseClick(u.insert, Qt::LeftButton);
    const QString longText(3000, QChar(0x6863));
    u.edit->setText(longText);
    QTest::mouseClick(u.insert, Qt::LeftButton);
    QTest::mouseClick(u.save, Qt::LeftButton);
    QCOMPARE(FieldOptions::options(s, 6).value(), (QStringList{QStringLiteral("abc"), longText}));
}

void FieldOptionsWindowTest::renameRefillsTitles()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    FieldOptionsWindow w(s);
    w.show();
    Units u(&w);
    u.choose(8);
    u.add(QStringLiteral("kept"));
    QString opened;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!qobject_cast<RenameFieldsWindow*>(modal))
            return;
        opened = modal->windowTitle();
        // What "字段改名" does to the offered title.
        KV_CHECK(s.execute(QStringLiteral("update xx set xm=? where bh=8"), {QStringLiteral("文种")}));
        modal->close();
    });
    QTest::mouseClick(u.rename, Qt::LeftButton);
    QCOMPARE(opened, QStringLiteral("字段改名"));
    QCOMPARE(u.fields->itemText(u.fields->findData(8)), QStringLiteral("文种"));
    QCOMPARE(w.chosenField(), 8);
    QCOMPARE(u.fields->currentText(), QStringLiteral("文种"));
    QCOMPARE(listed(u.options), QStringList{QStringLiteral("kept")});
}

void FieldOptionsWindowTest::grabPicture()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("update xx set xm='密级' where bh=6")));
    QVERIFY(FieldOptions::save(s, 6, {QStringLiteral("秘密"), QStringLiteral("机密"), QStringLiteral("绝密")}));
    FieldOptionsWindow w(s);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units(&w).choose(6);
    TestHome::grab(&w, QStringLiteral("field-options-window"));
}

KV_REGISTER_TEST(FieldOptionsWindowTest)
#include "FieldOptionsWindowTest.moc"
