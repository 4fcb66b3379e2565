#pragma once

#include <QString>
#include <QStringList>

// The 22 named rights, in the order the operator window offers them, and the
// rights text stored in czygl.qx: the names joined by ",". A right is held
// when its name is one of the whole names of the text, so "批量修改" never
// grants "修改".
namespace Rights {

inline const QString Add = QStringLiteral("增加");
inline const QString Modify = QStringLiteral("修改");
inline const QString Delete = QStringLiteral("删除");
inline const QString BatchImport = QStringLiteral("批量导入");
inline const QString BatchExport = QStringLiteral("批量导出");
inline const QString BatchModify = QStringLiteral("批量修改");
inline const QString Grouping = QStringLiteral("文件分组");
inline const QString SetPassword = QStringLiteral("设置密码");
inline const QString Search = QStringLiteral("搜索文件");
inline const QString ExportList = QStringLiteral("导出列表");
inline const QString OpenFile = QStringLiteral("打开文件");
inline const QString SaveAs = QStringLiteral("文件另存");
inline const QString BrowsePictures = QStringLiteral("浏览图片");
inline const QString PlayMedia = QStringLiteral("播放媒体");
inline const QString GlobalSettings = QStringLiteral("全局参数");
inline const QString Operators = QStringLiteral("权限管理");
inline const QString SystemLog = QStringLiteral("系统日志");
inline const QString ChooseColumns = QStringLiteral("选择显示");
inline const QString SaveWidths = QStringLiteral("保存列宽");
inline const QString SortOrder = QStringLiteral("排序方式");
inline const QString Reposition = QStringLiteral("调整位置");
inline const QString Properties = QStringLiteral("文件属性");

QStringList all();
// The names of a rights text; separators are ",", "，", ";", "；", "|" and blanks.
QStringList split(const QString& rightsText);
QString join(const QStringList& names);
bool holds(const QString& rightsText, const QString& right);

}
