#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

class Config;

// The skins of the program folder: the ".she" files of its Hf folder, named
// in the list by their file names. Names never leave that folder.
class SkinFolder {
public:
    static inline const QString Suffix = QStringLiteral(".she");
    static inline const QString Saved = QStringLiteral("保存完成！");
    static inline const QString SaveFailed = QStringLiteral("保存失败！");
    static inline const QString RenameFailed = QStringLiteral("改名失败!");
    static inline const QString RemoveFailed = QStringLiteral("删除失败!");

    explicit SkinFolder(QString folder) : m_folder(std::move(folder)) {}
    QString folder() const { return m_folder; }

    // File names of the skins, sorted.
    QStringList names() const;
    // The full path of a listed skin; empty for a name that is not one.
    QString pathOf(const QString& name) const;

    Status remove(const QString& name) const;
    // Renames name to newName + ".she" in the same folder. Fails (RenameFailed)
    // for an empty or unsafe name or one that is already taken; nothing changes.
    // The value is the new file name.
    Result<QString> rename(const QString& name, const QString& newName) const;

    // Writes the chosen skin (its full path) or "NO" to Config.ini, section
    // "HF", key "hf".
    static Status keep(Config& config, const QString& value);

private:
    QString m_folder;
};
