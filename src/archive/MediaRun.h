#pragma once

#include "archive/ViewedFiles.h"
#include "platform/Result.h"

#include <QList>
#include <QString>

class DataStore;
class Progress;

// The media player's run: the records to play, their questions, and the
// extraction of each into the player's folder (Mt/temp under the program
// folder) just before it plays. The folder is emptied when the player
// closes and at start-up.
class MediaRun {
public:
    static inline const QString FolderFailed = QStringLiteral("创建目录失败! 03");
    static inline const QString WriteFailed = QStringLiteral("释放文件失败! 04");
    static inline const QString PlayFailed = QStringLiteral("播放失败!");
    static inline const QString OpenFailed = QStringLiteral("打开失败! 可能格式不支持, 是否尝试系统播放器?");
    static inline const QString OpenFailedTitle = QStringLiteral("提示 ");

    // "系统自动搜索 <group> 里的媒体文件, 根据文件数量可能花费一些时间, 是否继续 ?"
    static QString searchQuestion(const QString& groupName);
    // "不支持的文件格式! <name.type> , 是否此文件跳过 ? "
    static QString skipQuestion(const ViewedFile& f);
    // "<name> 不支持的文件格式!"
    static QString unsupportedMessage(const ViewedFile& f);
    // "本地媒体文件不存在! 是否继续 ? size: <MB>M"
    static QString missingQuestion(const ViewedFile& f);

    MediaRun(ViewedFiles& files, QString folder);

    QString folder() const { return m_folder; }

    // Writes the content of f into a sub-folder of its own in the player's
    // folder as name + "." + type (made safe); the path of the file.
    // FolderFailed when the folder cannot be made, WriteFailed when the
    // content cannot be read or written.
    Result<QString> extract(const ViewedFile& f, Progress* progress = nullptr);

    // Removes everything inside folder (the folder itself stays). A link
    // found there is removed as a link; what it points to is left alone.
    static Status empty(const QString& folder);
    // The same where no one waits on it: what cannot be removed goes to the
    // log with its cause.
    static void emptyOrLog(DataStore& store, const QString& folder);
    // "清空媒体临时目录失败：<folder>（<detail>）"
    static QString emptyFailedText(const QString& folder, const QString& detail);

private:
    ViewedFiles& m_files;
    QString m_folder;
};
