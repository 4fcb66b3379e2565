#pragma once

#include "platform/Result.h"

#include <QString>
#include <functional>

class DataStore;
class CurrentOperator;

// Writes one line of the operation log (table rz) per call: the local time as
// yyyy-MM-dd hh:mm:ss from the clock in use, the current operator's user
// name, and the content. A failed write never undoes or stops the operation
// that asked for it: write() returns false and calls the failure handler
// (the windows show "写出日志失败!").
class LogWriter {
public:
    // The fixed beginnings of the content.
    static inline const QString FileAdded = QStringLiteral("增加文件：");
    static inline const QString FileModified = QStringLiteral("修改文件：");
    static inline const QString FileDeleted = QStringLiteral("删除文件：");
    static inline const QString FileViewed = QStringLiteral("阅览文件：");
    static inline const QString FileExported = QStringLiteral("导出文件：");
    static inline const QString BatchAdded = QStringLiteral("批量增加：");
    static inline const QString BatchExported = QStringLiteral("批量导出：");
    static inline const QString FilesRegrouped = QStringLiteral("修改文件：调整分组");
    static inline const QString GroupRegrouped = QStringLiteral("修改文件：批量调整分组，原分组: ");
    static inline const QString GroupCopied = QStringLiteral("复制分组：从源分组 ");
    static inline const QString FailureMessage = QStringLiteral("写出日志失败!");

    LogWriter(DataStore& store, const CurrentOperator& op) : m_store(store), m_operator(op) {}

    [[nodiscard]] bool write(const QString& content);
    // Replaces the content of line `id` (the one line of a run, kept saying
    // how far the run got); the failure handler is not called.
    Status rewrite(qint64 id, const QString& content);
    // For work no one waits on: the line goes to the log, or, when the log
    // cannot take it, to the program's output with the cause.
    void writeOrWarn(const QString& content);
    void setFailureHandler(std::function<void()> f) { m_onFailure = std::move(f); }

    // "<number> <name>.<type>", the details used after the file prefixes.
    static QString fileDetails(const QString& number, const QString& name, const QString& type);

private:
    DataStore& m_store;
    const CurrentOperator& m_operator;
    std::function<void()> m_onFailure;
};
