// Every window of the program under every shipped skin, and without one:
// no button, box, label or group title shows its text cut.
#include "MainWindowFixture.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/ui/QtPrompter.h"
#include "platform/ui/SkinLibrary.h"
#include "shell/ui/LoginWindow.h"
#include "shell/ui/PermissionNotice.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QTimer>

namespace {

QString shownText(QString text)
{
    // "&&" shows "&"; a lone "&" marks the shortcut and takes no room.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    return text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// The units of w whose text does not fit the room they have.
QStringList cutUnits(QWidget* top)
{
    QStringList cut;
    const QString where =
        top->windowTitle().isEmpty() ? QString::fromLatin1(top->metaObject()->className()) : top->windowTitle();
    auto report = [&](QWidget* w, const QString& text, int need, int room) {
        cut << QStringLiteral("%1/%2 \"%3\": needs %4, has %5").arg(where, w->objectName(), text).arg(need).arg(room);
    };
    for (QAbstractButton* b : top->findChildren<QAbstractButton*>()) {
        const bool texted =
            qobject_cast<QPushButton*>(b) || qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b);
        if (!b->isVisibleTo(top) || b->text().isEmpty() || !texted)
            continue;
        const QString text = shownText(b->text());
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        const QStyle::SubElement content = qobject_cast<QPushButton*>(b) ? QStyle::SE_PushButtonContents
            : qobject_cast<QCheckBox*>(b)                                ? QStyle::SE_CheckBoxContents
                                                                         : QStyle::SE_RadioButtonContents;
        QRect room = b->style()->subElementRect(content, &opt, b);
        if (!b->icon().isNull() && qobject_cast<QPushButton*>(b))
            room.setWidth(room.width() - b->iconSize().width() - 4);
        const QFontMetrics fm(b->font());
        const int need = fm.horizontalAdvance(text);
        if (need > room.width())
            report(b, text, need, room.width());
        else if (fm.tightBoundingRect(text).height() > room.height())
            report(b, text, fm.tightBoundingRect(text).height(), room.height());
    }
    for (QLabel* l : top->findChildren<QLabel*>()) {
        if (!l->isVisibleTo(top) || l->text().isEmpty() || l->wordWrap() || l->textFormat() == Qt::RichText
            || Qt::mightBeRichText(l->text()) || l->inherits("QMessageBoxDetailsText"))
            continue;
        const QFontMetrics fm(l->font());
        const QStringList lines = shownText(l->text()).split(QLatin1Char('\n'));
        int need = 0;
        for (const QString& line : lines)
            need = qMax(need, fm.horizontalAdvance(line));
        const QRect room = l->contentsRect();
        if (need > room.width() + 1)
            report(l, l->text(), need, room.width());
        // A face's ink may pass its size by a pixel; a label as tall as its
        // font still shows it whole.
        else if ((int(lines.size()) - 1) * fm.lineSpacing() + fm.tightBoundingRect(lines.first()).height()
                 > room.height() + 1)
            report(l, l->text(),
                   (int(lines.size()) - 1) * fm.lineSpacing() + fm.tightBoundingRect(lines.first()).height(),
                   room.height());
    }
    for (QGroupBox* g : top->findChildren<QGroupBox*>()) {
        if (!g->isVisibleTo(top) || g->title().isEmpty())
            continue;
        const int need = QFontMetrics(g->font()).horizontalAdvance(shownText(g->title())) + 16;
        if (need > g->width())
            report(g, g->title(), need, g->width());
    }
    return cut;
}

// The windows the main window's commands open, each walked while it is up.
const QList<const char*> kWindowCommands = {
    Cmd::Search,         Cmd::About,           Cmd::TreeAddGroup, Cmd::FileChooseColumns, Cmd::FileSortOrder,
    Cmd::FileReposition, Cmd::GlobalSettings,  Cmd::Operators,    Cmd::ChangePassword,    Cmd::SystemLog,
    Cmd::Skins,          Cmd::FileExportExcel, Cmd::ViewGuide,
};

}  // namespace

class ClippedTextTest : public QObject {
    Q_OBJECT
private slots:
    void noTextIsCut_data();
    void noTextIsCut();
    void cleanup() { SkinLibrary::detach(); }
};

void ClippedTextTest::noTextIsCut_data()
{
    QTest::addColumn<QString>("skin");
    QTest::newRow("no skin") << QString();
    for (const QString& s :
         QDir(QStringLiteral(":/skins")).entryList({QStringLiteral("*.she")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(s)) << QStringLiteral(":/skins/") + s;
}

void ClippedTextTest::noTextIsCut()
{
    QFETCH(QString, skin);
    SkinLibrary::installBaseLook();
    if (!skin.isEmpty()) {
        // attach() reads files: the shipped skin is copied out first.
        const QString file = QDir::temp().filePath(QFileInfo(skin).fileName());
        QFile::remove(file);
        QVERIFY(QFile::copy(skin, file));
        QVERIFY(SkinLibrary::attach(file));
    }
    MainWindowFixture f;
    QVERIFY(f.build());
    QStringList cut = cutUnits(f.window.get());

    QStringList walked;
    auto walkOthers = [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w == f.window.get() || !w->isVisible() || qobject_cast<QMenu*>(w))
                continue;
            walked << w->windowTitle();
            TestHome::grab(w, QStringLiteral("clipped-%1-%2").arg(QFileInfo(skin).baseName(), w->windowTitle()));
            cut += cutUnits(w);
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
            else
                w->close();
        }
    };
    for (const char* id : kWindowCommands) {
        QTimer::singleShot(100, walkOthers);
        f.window->runCommand(QString::fromLatin1(id));
        QTest::qWait(150);
        walkOthers();
    }
    LoginWindow login(f.home.context(), f.home.store());
    login.show();
    cut += cutUnits(&login);
    PermissionNotice notice;
    notice.show();
    cut += cutUnits(&notice);
    // A message box is at least as wide as its title.
    auto box = QtPrompter::questionBox(QStringLiteral("确定退出本系统吗？"), QStringLiteral("Korvane文件管理系统"));
    box->show();
    QTest::qWait(20);
    const int titleNeed = box->fontMetrics().horizontalAdvance(box->windowTitle()) + 100;
    if (box->width() < titleNeed)
        cut << QStringLiteral("message box %1 wide for its title (needs %2)").arg(box->width()).arg(titleNeed);
    cut += cutUnits(box.get());
    QVERIFY2(walked.size() >= 10, qPrintable(walked.join(QLatin1Char(','))));
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

KV_REGISTER_TEST(ClippedTextTest)
#include "ClippedTextTest.moc"
