#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "listing/FileListModel.h"
#include "listing/SavedConditions.h"
#include "listing/ui/FileListViews.h"
#include "listing/ui/SavedConditionWindows.h"
#include "listing/ui/SearchWindow.h"
#include "platform/ui/OuterSize.h"
#include "shell/ui/CommandTable.h"
#include "store/FieldOptions.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

template <typename T> T* unit(QWidget* w, const char* name)
{
    auto* u = w->findChild<T*>(QString::fromUtf8(name));
    if (!u)
        qWarning() << "no unit" << name;
    return u;
}

void click(QWidget* w, const char* name)
{
    QTest::mouseClick(unit<QPushButton>(w, name), Qt::LeftButton);
}

// Picks the field by its title, the operator and the value, then "增加条件".
void addCondition(SearchWindow* w, const QString& title, const QString& op, const QString& value,
                  const QString& relation = QStringLiteral("并且"))
{
    auto* field = unit<QComboBox>(w, "搜索字段组合框");
    field->setCurrentIndex(field->findText(title));
    auto* ops = unit<QComboBox>(w, "条件组合框");
    ops->setCurrentIndex(ops->findText(op));
    auto* text = unit<QLineEdit>(w, "编辑框1");
    if (text->isVisible()) {
        text->clear();
        TestInput::typeText(text, value);
    } else if (auto* choice = unit<QComboBox>(w, "组合框1"); choice->isVisible()) {
        choice->setCurrentIndex(choice->findText(value));
    } else {
        unit<QDateEdit>(w, "日期框1")->setDate(QDate::fromString(value, QStringLiteral("yyyy-MM-dd")));
    }
    auto* rel = unit<QComboBox>(w, "关系组合框");
    rel->setCurrentIndex(rel->findText(relation));
    click(w, "增加按钮");
}

// Runs `open` (which shows a modal window) and drives the window with `drive`.
template <typename W> bool withModal(const std::function<void()>& open, const std::function<void(W*)>& drive)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!w)
            return;
        seen = true;
        drive(w);
        if (w->isVisible())
            w->reject();
    });
    open();
    return seen;
}

QStringList listTexts(QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

void insertCondition(DataStore& s, const QString& user, const QString& creator, const QString& name, const QString& nr,
                     const QString& sq = {})
{
    QVERIFY(s.execute(QStringLiteral("insert into tj(syr,cjr,mc,nr,sq) values (?,?,?,?,?)"),
                      {user, creator, name, nr, sq}));
}

}  // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT
private slots:
    void looksAsDesigned();
    void valueUnitFollowsTheField();
    void searchFillsTheList();
    void deleteAndClear();
    void saveConditions();
    void chooseOpensOwnAndPublic();
    void deleteSkipsForeign();
    void modifyOnlyOwn();
    void tamperedRowsNeverRun();
};

void SearchWindowTest::looksAsDesigned()
{
    TestHome h;
    SearchWindow w(h.store(), h.context().protectedGroups, QStringLiteral("Admin"));
    QCOMPARE(w.windowTitle(), QStringLiteral("搜索"));
    QCOMPARE(OuterSize::designed(&w), QSize(499, 340));
    QCOMPARE(unit<QPushButton>(&w, "增加按钮")->geometry(), QRect(424, 8, 56, 24));
    QCOMPARE(unit<QCheckBox>(&w, "选择框1")->text(), QStringLiteral("不显示重名文件"));
    QCOMPARE(unit<QCheckBox>(&w, "选择框2")->geometry(), QRect(136, 266, 112, 24));
    QVERIFY(!unit<QListWidget>(&w, "SQL列表框")->isVisibleTo(&w));
    // Every list field by its title, then what the files say; the stored file itself never.
    auto* fields = unit<QComboBox>(&w, "搜索字段组合框");
    QCOMPARE(fields->count(), 27);
    QCOMPARE(fields->placeholderText(), QStringLiteral("搜索字段"));
    QCOMPARE(fields->itemText(0), QStringLiteral("文件编号"));
    QCOMPARE(fields->itemText(26), QStringLiteral("文件内容"));
    w.show();
    addCondition(&w, QStringLiteral("文件名称"), QStringLiteral("包含"), QStringLiteral("合同"));
    TestHome::grab(&w, QStringLiteral("search-window"));
    SaveConditionWindow save(h.store(), QStringLiteral("Admin"), w.conditions(), std::nullopt);
    QCOMPARE(save.windowTitle(), QStringLiteral("保存条件"));
    QCOMPARE(OuterSize::designed(&save), QSize(338, 184));
    save.show();
    TestHome::grab(&save, QStringLiteral("save-condition-window"));
    insertCondition(h.store(), QStringLiteral("&公共&"), QStringLiteral("Bob"), QStringLiteral("公共的条件"), {});
    ChooseConditionWindow choose(h.store(), QStringLiteral("Admin"), {});
    QCOMPARE(choose.windowTitle(), QStringLiteral("选择条件"));
    QCOMPARE(OuterSize::designed(&choose), QSize(403, 335));
    QCOMPARE(unit<QTableWidget>(&choose, "超级列表框1")->geometry(), QRect(8, 16, 284, 272));
    QCOMPARE(unit<QTableWidget>(&choose, "超级列表框1")->item(0, 1)->text(), QStringLiteral("公共"));
    choose.show();
    TestHome::grab(&choose, QStringLiteral("choose-condition-window"));
}

void SearchWindowTest::valueUnitFollowsTheField()
{
    TestHome h;
    QVERIFY(FieldOptions::save(h.store(), 6, {QStringLiteral("财务部"), QStringLiteral("人事部")}));
    QVERIFY(h.store().execute(QStringLiteral("update lbsz set btm='部门' where bh=6")));
    SearchWindow w(h.store(), h.context().protectedGroups, QStringLiteral("Admin"));
    w.show();
    auto* fields = unit<QComboBox>(&w, "搜索字段组合框");
    auto* ops = unit<QComboBox>(&w, "条件组合框");
    auto visible = [&w]() {
        QStringList out;
        for (const char* n : {"编辑框1", "组合框1", "日期框1"})
            if (w.findChild<QWidget*>(QString::fromUtf8(n))->isVisible())
                out << QString::fromUtf8(n);
        return out;
    };
    fields->setCurrentIndex(fields->findText(QStringLiteral("文件大小")));
    QCOMPARE(visible(), QStringList{"编辑框1"});
    QCOMPARE(ops->count(), 6);
    fields->setCurrentIndex(fields->findText(QStringLiteral("上传时间")));
    QCOMPARE(visible(), QStringList{"日期框1"});
    fields->setCurrentIndex(fields->findText(QStringLiteral("部门")));
    QCOMPARE(visible(), QStringList{"组合框1"});
    QCOMPARE(unit<QComboBox>(&w, "组合框1")->count(), 2);
    QCOMPARE(ops->count(), 10);
    fields->setCurrentIndex(fields->findText(QStringLiteral("文件名称")));
    QCOMPARE(visible(), QStringList{"编辑框1"});

    // A size that is no number is refused with a message.
    ScriptedPrompter p;
    addCondition(&w, QStringLiteral("文件大小"), QStringLiteral(">"), QStringLiteral("很大"));
    QCOMPARE(p.messages(), QStringList{QStringLiteral("请输入数值(可带单位 KB 或 MB)!")});
    QVERIFY(w.conditions().isEmpty());
    addCondition(&w, QStringLiteral("文件大小"), QStringLiteral(">"), QStringLiteral("2MB"));
    QCOMPARE(w.conditions().size(), 1);
    QCOMPARE(listTexts(unit<QListWidget>(&w, "字段列表框")), QStringList{QStringLiteral("文件大小")});
    QCOMPARE(listTexts(unit<QListWidget>(&w, "SQL列表框")), QStringList{QStringLiteral("dx > 2MB and ")});
}

void SearchWindowTest::searchFillsTheList()
{
    TestHome h;
    DataStore& s = h.store();
    addFile(s, 1, QStringLiteral("合同甲"));
    addFile(s, 2, QStringLiteral("it's 合同"));
    addFile(s, 3, QStringLiteral("报告"));
    addFile(s, 4, QStringLiteral("合同甲"));
    QWidget window;
    window.resize(1024, 768);
    FileListViews views(s, h.context().protectedGroups, h.context().mainSettings, &window);
    QAbstractItemModelTester tester(views.model());
    CommandRouter router(&h.context().currentOperator);
    QVERIFY(!CommandTable::rightOf(QString::fromLatin1(Cmd::Search)).isEmpty());
    router.add(QString::fromLatin1(Cmd::Search), CommandTable::rightOf(QString::fromLatin1(Cmd::Search)),
               [&views] { views.search(QStringLiteral("Admin")); });
    window.show();

    QVERIFY(withModal<SearchWindow>([&] { router.run(QString::fromLatin1(Cmd::Search)); },
                                    [](SearchWindow* w) {
                                        addCondition(w, QStringLiteral("文件名称"), QStringLiteral("包含"),
                                                     QStringLiteral("'s 合"), QStringLiteral("或者"));
                                        addCondition(w, QStringLiteral("文件名称"), QStringLiteral("左包含"),
                                                     QStringLiteral("合同"));
                                        click(w, "搜索按钮");
                                    }));
    QVERIFY(views.waitUntilLoaded());
    QCOMPARE(views.model()->rowCount(), 3);
    QVERIFY(views.statisticsLine().startsWith(QStringLiteral(" 文件总数：3份")));

    // The window keeps its conditions; "不显示重名文件" keeps the first 合同甲.
    QVERIFY(withModal<SearchWindow>([&] { router.run(QString::fromLatin1(Cmd::Search)); },
                                    [](SearchWindow* w) {
                                        QCOMPARE(w->conditions().size(), 2);
                                        unit<QCheckBox>(w, "选择框1")->setChecked(true);
                                        click(w, "搜索按钮");
                                    }));
    QVERIFY(views.waitUntilLoaded());
    QCOMPARE(views.model()->rowCount(), 2);

    // No condition and nothing ticked: every record.
    QVERIFY(withModal<SearchWindow>([&] { router.run(QString::fromLatin1(Cmd::Search)); },
                                    [](SearchWindow* w) {
                                        click(w, "清空按钮");
                                        unit<QCheckBox>(w, "选择框1")->setChecked(false);
                                        click(w, "搜索按钮");
                                    }));
    QVERIFY(views.waitUntilLoaded());
    QCOMPARE(views.model()->rowCount(), 4);

    // Without the right the window never opens.
    h.loginAs(QStringLiteral("Bob"), QStringLiteral("增加"));
    router.setOperator(&h.context().currentOperator);
    QCOMPARE(router.run(QString::fromLatin1(Cmd::Search)), CommandRouter::Outcome::Denied);
}

void SearchWindowTest::deleteAndClear()
{
    TestHome h;
    ScriptedPrompter p;
    SearchWindow w(h.store(), h.context().protectedGroups, QStringLiteral("Admin"));
    w.show();
    click(&w, "删除按钮");
    QCOMPARE(p.messages(), QStringList{QStringLiteral("请选择需要删除的条件项!")});
    addCondition(&w, QStringLiteral("文件名称"), QStringLiteral("包含"), QStringLiteral("a"));
    addCondition(&w, QStringLiteral("备注"), QStringLiteral("="), QStringLiteral("b"));
    addCondition(&w, QStringLiteral("文件类型"), QStringLiteral("<>"), QStringLiteral("c"));
    auto* fields = unit<QListWidget>(&w, "字段列表框");
    auto* contents = unit<QListWidget>(&w, "内容列表框");
    QTest::mouseClick(contents->viewport(), Qt::LeftButton, {}, contents->visualItemRect(contents->item(1)).center());
    QCOMPARE(fields->currentRow(), 1);
    click(&w, "删除按钮");
    QCOMPARE(listTexts(fields), (QStringList{QStringLiteral("文件名称"), QStringLiteral("文件类型")}));
    QCOMPARE(listTexts(contents), (QStringList{QStringLiteral("包含 a  并且"), QStringLiteral("<> c  并且")}));
    QCOMPARE(unit<QListWidget>(&w, "SQL列表框")->count(), 2);
    QCOMPARE(w.conditions().size(), 2);
    click(&w, "清空按钮");
    QCOMPARE(fields->count() + contents->count() + unit<QListWidget>(&w, "SQL列表框")->count(), 0);
    QVERIFY(w.conditions().isEmpty());
}

void SearchWindowTest::saveConditions()
{
    TestHome h;
    ScriptedPrompter p;
    SearchWindow w(h.store(), h.context().protectedGroups, QStringLiteral("Admin"));
    w.show();
    click(&w, "保存条件按钮");
    QCOMPARE(p.messages(), QStringList{QStringLiteral("当前没有条件! ")});
    addCondition(&w, QStringLiteral("文件名称"), QStringLiteral("包含"), QStringLiteral("甲§乙♂'丙'"));
    addCondition(&w, QStringLiteral("文件大小"), QStringLiteral(">="), QStringLiteral("1KB"), QStringLiteral("或者"));
    p.clear();
    QVERIFY(withModal<SaveConditionWindow>([&] { click(&w, "保存条件按钮"); },
                                           [&](SaveConditionWindow* s) {
                                               click(s, "确定按钮");
                                               QCOMPARE(p.messages(), QStringList{QStringLiteral("名称不能为空!")});
                                               TestInput::typeText(unit<QLineEdit>(s, "编辑框1"),
                                                                   QStringLiteral("我的'条件"));
                                               unit<QRadioButton>(s, "单选框2")->setChecked(true);
                                               click(s, "确定按钮");
                                               QVERIFY(!s->isVisible());
                                           }));
    QCOMPARE(p.messages().last(), QStringLiteral("保存成功！"));
    RecordSet rs = h.store().query(QStringLiteral("select syr,cjr,mc,nr,sq from tj"));
    QVERIFY(!rs.atEnd());
    QCOMPARE(rs.text(0), QStringLiteral("&公共&"));
    QCOMPARE(rs.text(1), QStringLiteral("Admin"));
    QCOMPARE(rs.text(2), QStringLiteral("我的'条件"));
    QCOMPARE(SearchConditions::decodeRows(rs.text(3)).value(), w.conditions());
    QVERIFY(rs.text(4).contains(QStringLiteral("mc like '%甲^1乙^2''丙''%' and ")));
}

void SearchWindowTest::chooseOpensOwnAndPublic()
{
    TestHome h;
    DataStore& s = h.store();
    const QList<SearchConditions::Condition> mine{
        {QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("合同"), SearchConditions::And}};
    insertCondition(s, QStringLiteral("Admin"), QStringLiteral("Admin"), QStringLiteral("自己的"),
                    SearchConditions::encodeRows(mine));
    insertCondition(s, QStringLiteral("Bob"), QStringLiteral("Bob"), QStringLiteral("别人的私有"), {});
    insertCondition(s, QStringLiteral("&公共&"), QStringLiteral("Bob"), QStringLiteral("别人的公共"), {});
    SearchWindow w(s, h.context().protectedGroups, QStringLiteral("Admin"));
    w.show();
    QVERIFY(withModal<ChooseConditionWindow>([&] { click(&w, "打开条件按钮"); },
                                             [](ChooseConditionWindow* c) {
                                                 auto* list = unit<QTableWidget>(c, "超级列表框1");
                                                 QCOMPARE(list->rowCount(), 2);
                                                 QCOMPARE(list->item(0, 0)->text(), QStringLiteral("自己的"));
                                                 QCOMPARE(list->item(1, 1)->text(), QStringLiteral("公共"));
                                                 QCOMPARE(list->item(1, 2)->text(), QStringLiteral("Bob"));
                                                 list->selectRow(0);
                                                 click(c, "打开按钮");
                                             }));
    QCOMPARE(w.conditions(), mine);
    QCOMPARE(listTexts(unit<QListWidget>(&w, "字段列表框")), QStringList{QStringLiteral("文件名称")});
}

void SearchWindowTest::deleteSkipsForeign()
{
    TestHome h;
    DataStore& s = h.store();
    insertCondition(s, QStringLiteral("Admin"), QStringLiteral("Admin"), QStringLiteral("一"), {});
    insertCondition(s, QStringLiteral("&公共&"), QStringLiteral("Bob"), QStringLiteral("二"), {});
    insertCondition(s, QStringLiteral("&公共&"), QStringLiteral("Admin"), QStringLiteral("三"), {});
    insertCondition(s, QStringLiteral("&公共&"), QStringLiteral("Carl"), QStringLiteral("四"), {});
    ScriptedPrompter p;
    ChooseConditionWindow c(s, QStringLiteral("Admin"), {});
    c.show();
    unit<QTableWidget>(&c, "超级列表框1")->selectAll();
    p.answerYes();
    click(&c, "删除按钮");
    QCOMPARE(p.shown().first().text, QStringLiteral("确定删除选择的 4 个条件吗 ?"));
    QCOMPARE(p.messages(),
             (QStringList{QStringLiteral("发现其他用户创建的公共条件! 系统将跳过..."),
                          QStringLiteral("发现其他用户创建的公共条件! 系统将跳过...")}));
    QCOMPARE(valueOf(s, QStringLiteral("select group_concat(mc) from (select mc from tj order by id)")).toString(),
             QStringLiteral("二,四"));
    QCOMPARE(unit<QTableWidget>(&c, "超级列表框1")->rowCount(), 2);
    // A "no" changes nothing.
    unit<QTableWidget>(&c, "超级列表框1")->selectAll();
    p.answerNo();
    click(&c, "删除按钮");
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from tj")).toInt(), 2);
}

void SearchWindowTest::modifyOnlyOwn()
{
    TestHome h;
    DataStore& s = h.store();
    insertCondition(s, QStringLiteral("&公共&"), QStringLiteral("Bob"), QStringLiteral("别人的"), {});
    insertCondition(s, QStringLiteral("Admin"), QStringLiteral("Admin"), QStringLiteral("旧名"), {});
    const QList<SearchConditions::Condition> now{
        {QStringLiteral("bz"), QStringLiteral("不包含"), QStringLiteral("x"), SearchConditions::Or}};
    ScriptedPrompter p;
    ChooseConditionWindow c(s, QStringLiteral("Admin"), now);
    c.show();
    auto* list = unit<QTableWidget>(&c, "超级列表框1");
    list->selectRow(0);
    click(&c, "修改按钮");
    QCOMPARE(p.messages(), QStringList{QStringLiteral("您无权修改 Bob 创建的条件 , 请选择自己创建的条件! ")});
    list->selectRow(1);
    QVERIFY(withModal<SaveConditionWindow>([&] { click(&c, "修改按钮"); },
                                           [](SaveConditionWindow* w) {
                                               auto* name = unit<QLineEdit>(w, "编辑框1");
                                               QCOMPARE(name->text(), QStringLiteral("旧名"));
                                               QVERIFY(unit<QRadioButton>(w, "单选框1")->isChecked());
                                               name->setText(QStringLiteral("新名"));
                                               unit<QRadioButton>(w, "单选框2")->setChecked(true);
                                               click(w, "确定按钮");
                                           }));
    RecordSet rs = s.query(QStringLiteral("select syr,mc,nr from tj where cjr='Admin'"));
    QCOMPARE(rs.text(0), QStringLiteral("&公共&"));
    QCOMPARE(rs.text(1), QStringLiteral("新名"));
    QCOMPARE(SearchConditions::decodeRows(rs.text(2)).value(), now);
    // The logic refuses a foreign one too.
    const qint64 foreign = valueOf(s, QStringLiteral("select id from tj where cjr='Bob'")).toLongLong();
    QVERIFY(!SavedConditions::update(s, foreign, QStringLiteral("x"), true, QStringLiteral("Admin"), now).ok());
    QCOMPARE(SavedConditions::remove(s, foreign, QStringLiteral("Admin")), SavedConditions::Removal::Foreign);
}

void SearchWindowTest::tamperedRowsNeverRun()
{
    TestHome h;
    DataStore& s = h.store();
    addFile(s, 1, QStringLiteral("合同"));
    const QString valid = SearchConditions::encodeRows(
        {{QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("合"), SearchConditions::And}});
    const QChar part(0x2642);
    const QStringList tampered{
        QStringLiteral("mc) or 1=1 --") + part + QStringLiteral("=") + part + QStringLiteral("x") + part
            + QStringLiteral("并且"),
        QStringLiteral("wj") + part + QStringLiteral("=") + part + QStringLiteral("x") + part + QStringLiteral("并且"),
        QStringLiteral("mc") + part + QStringLiteral("包含"),
        QStringLiteral("mc") + part + QStringLiteral("; drop table wj") + part + QStringLiteral("x") + part
            + QStringLiteral("并且"),
        QStringLiteral("mc") + part + QStringLiteral("=") + part + QStringLiteral("x^") + part + QStringLiteral("并且"),
        QStringLiteral("dx") + part + QStringLiteral(">") + part + QStringLiteral("0 or 1=1") + part
            + QStringLiteral("并且"),
        QString(QChar(0xD800)),
    };
    for (const QString& nr : tampered)
        insertCondition(s, QStringLiteral("Admin"), QStringLiteral("Admin"), QStringLiteral("坏"), nr,
                        QStringLiteral("1=1; drop table wj"));
    // A valid nr beside a hostile sq: the sq is never run.
    insertCondition(s, QStringLiteral("Admin"), QStringLiteral("Admin"), QStringLiteral("好"), valid,
                    QStringLiteral("mc like '%' ; delete from wj; --"));
    ScriptedPrompter p;
    SearchWindow w(s, h.context().protectedGroups, QStringLiteral("Admin"));
    w.show();
    for (int row = 0; row < tampered.size(); ++row) {
        p.clear();
        QVERIFY(withModal<ChooseConditionWindow>([&] { click(&w, "打开条件按钮"); },
                                                 [row](ChooseConditionWindow* c) {
                                                     unit<QTableWidget>(c, "超级列表框1")->selectRow(row);
                                                     click(c, "打开按钮");
                                                 }));
        QCOMPARE(p.messages(), QStringList{QStringLiteral("条件内容无法识别，不能打开!")});
        QVERIFY(w.conditions().isEmpty());
    }
    p.clear();
    QVERIFY(withModal<ChooseConditionWindow>([&] { click(&w, "打开条件按钮"); },
                                             [&](ChooseConditionWindow* c) {
                                                 unit<QTableWidget>(c, "超级列表框1")->selectRow(int(tampered.size()));
                                                 click(c, "打开按钮");
                                             }));
    QVERIFY(p.messages().isEmpty());
    QCOMPARE(w.conditions().size(), 1);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 1);
}

KV_REGISTER_TEST(SearchWindowTest)
#include "SearchWindowTest.moc"
