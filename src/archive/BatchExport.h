#pragma once

#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "store/CurrentOperator.h"

#include <QString>
#include <functional>

class DataStore;
class Progress;

// "批量导出": writes the files of a group and of its sub-groups into a
// folder, as name + "." + type, either all into the folder or each below
// the folder in the folders of its group path.
//
// Every part of a path written (each group name, each file name) is made a
// safe file name (FileOpening::safeFileName), and every folder made is
// checked to lie inside the chosen folder, links included, so nothing is
// ever written outside it. A file of the same name is replaced through a
// temporary file and a rename: a failed or cancelled write leaves the old
// file or nothing, never a part of one. Records of closed protected groups
// are left out. One log line "批量导出：" per run.
class BatchExport {
public:
    static inline const QString WindowTitle = QStringLiteral("批量导出文件");
    static inline const QString ChooseFolder = QStringLiteral("请选择导出的文件目录:");
    static inline const QString Working = QStringLiteral("正在批量导出文件");
    static inline const QString Cancelled = QStringLiteral("导出文件取消!");
    static inline const QString WriteFailed = QStringLiteral("导出文件失败! 错误代码: 01");

    // "确认导出 <group> 的文件到 <folder> ? 如果有重名文件将被覆盖!"
    static QString confirmText(const QString& groupName, const QString& folder);
    // "<n> 个文件已成功导出到 <folder>"
    static QString doneText(int count, const QString& folder);
    // The log line of a run.
    static QString logText(const QString& group, const QString& folder, int count);

    struct Outcome {
        enum class Kind { Done, Cancelled, Failed };
        Kind kind = Kind::Done;
        int written = 0;
        bool logFailed = false;
        QString message;  // what the window shows
        QString detail;
        bool ok() const { return kind == Kind::Done; }
    };

    BatchExport(DataStore& store, StoreFolder folder, const CurrentOperator& op, ProtectedGroups open);

    // The place of a record's file below `folder` (not yet checked against links).
    static QString targetPath(const QString& folder, const QString& group, const QString& name, const QString& type,
                              bool withSubfolders);

    // Exports the records of `group` (and its sub-groups) into `folder`.
    Outcome run(const QString& group, const QString& folder, bool withSubfolders, Progress& progress,
                const std::function<void(const QString& name)>& onFile = {});

private:
    DataStore& m_store;
    StoreFolder m_folder;
    const CurrentOperator& m_operator;
    ProtectedGroups m_open;
};
