#pragma once

#include "archive/FilterClause.h"
#include "platform/Result.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class DataStore;
class ProtectedGroups;

// The group tree held in memory, with every change to it written back to
// wjfz. Nodes are loaded in ascending id; after a change the whole table is
// written again in display order (ids 1 ... n, every fxmid the parent's new
// id) inside one transaction, so the table is either wholly replaced or left
// as it was. The root "文件服务器" has id 0 and is not stored.
//
// Methods report by value; none shows a message. The texts returned are the
// ones the windows show.
class GroupTree {
public:
    // The tree's image list.
    enum Image { RootImage = 0, FolderImage = 1, OpenFolderImage = 2, LockImage = 3, LockSelectedImage = 4 };

    static inline const QString RootText = QStringLiteral("文件服务器");
    static inline const QString RootLoadingText = QStringLiteral("文件服务器(正在读取列表……)");

    static inline const QString EmptyName = QStringLiteral("分组名不能为空!");
    static inline const QString BlankName = QStringLiteral("分组名不能只由空格组成!");
    static inline const QString BadCharacter = QStringLiteral("分组名中不能有 \\ 、/ 或控制字符!");
    static inline const QString DotName = QStringLiteral("分组名不能是 . 或 ..!");
    static QString duplicateName(const QString& name)
    {
        return QStringLiteral("同一级中已有分组 '") + name + QStringLiteral("'，请换一个分组名!");
    }
    static inline const QString ClearFailed = QStringLiteral("清空失败");
    static inline const QString SaveFailed = QStringLiteral("保存失败!");
    static inline const QString LoadFailed = QStringLiteral("读取分组失败!");
    static inline const QString StaleTree = QStringLiteral("保存失败! (分组已被更改, 已重新读取, 请重试)");
    static inline const QString HasFiles = QStringLiteral("该分组目录下已经有文件存在, 禁止删除 ");
    static inline const QString CountFailed = QStringLiteral("读取分组文件失败, 禁止删除!");
    static QString deleteQuestion(const QString& name)
    {
        return QStringLiteral("确认删除 '") + name + QStringLiteral("' 分组吗?");
    }
    static inline const QString ProtectedAbove = QStringLiteral("上层遇到加密分组，移动被中止!");
    static inline const QString ProtectedBelow = QStringLiteral("下层遇到加密分组，移动被中止!");
    static inline const QString WrongOldPassword = QStringLiteral("旧密码不对!");
    static inline const QString PasswordQuestion = QStringLiteral("确定修改分组密码吗 ?");
    static inline const QString PasswordChanged = QStringLiteral("密码修改成功!");
    static inline const QString PasswordFailed = QStringLiteral("密码修改失败! ");
    static inline const QString AccessPrompt = QStringLiteral("请输入访问密码");
    static QString accessTitle(const QString& name)
    {
        return QStringLiteral("访问: ") + name + QStringLiteral(" 需要密码:");
    }
    static inline const QString WrongAccessPassword = QStringLiteral("密码错误! 访问被拒绝.");
    static inline const QString NotOpen =
        QStringLiteral("你选择了加密分组，但该分组并未打开！ 双击打开或选择其他未加密分组。");
    static inline const QString AllRefused = QStringLiteral("遇到加密分组，全部显示已禁止，请选择未加密分组!");
    static inline const QString NoGroupSelected = QStringLiteral("请先选择一个分组!");

    struct Node {
        qint64 id = 0;
        QString name;
        int image = FolderImage;
        int selectedImage = OpenFolderImage;
        QString passwordHash;  // empty: not protected
        Node* parent = nullptr;
        std::vector<std::unique_ptr<Node>> children;

        bool isRoot() const { return parent == nullptr; }
        bool isProtected() const { return !passwordHash.isEmpty(); }
        // The group path; empty for the root.
        QString path() const;
        int indexInParent() const;
    };

    struct [[nodiscard]] Result {
        enum class Kind { Done, Unchanged, Refused, Failed };
        Kind kind = Kind::Failed;
        QString message;  // what to show; empty when nothing needs showing
        qint64 id = 0;    // the group concerned, by its id after the change

        bool ok() const { return kind == Kind::Done || kind == Kind::Unchanged; }
        explicit operator bool() const { return ok(); }
    };

    struct Filter {
        bool allowed = false;
        FilterClause clause;  // when refused: a clause no record meets
        QString message;      // the refusal
    };

    GroupTree(DataStore& store, ProtectedGroups& open);
    ~GroupTree();
    GroupTree(const GroupTree&) = delete;
    GroupTree& operator=(const GroupTree&) = delete;

    // Reads wjfz (ascending id). On failure (LoadFailed) the tree holds only
    // the root and the detail says why.
    Status load();

    const Node& root() const { return *m_root; }
    // The node of a group id; 0 is the root; nullptr when unknown.
    const Node* find(qint64 id) const;
    // The first group with this path (the root for the empty path).
    const Node* findPath(const QString& path) const;
    // Every group from top to bottom as the tree shows it (root left out).
    QList<const Node*> displayOrder() const;
    int groupCount() const;

    // The name rules: not empty, not only blanks, no "\" "/" or control
    // character, not "." or "..", no sibling of the same name. `self` is the
    // group being renamed (left out of the sibling test).
    Result checkName(qint64 parentId, const QString& name, qint64 self = -1) const;

    // Adds a group below parentId (0: the top level) and writes the tree.
    Result add(qint64 parentId, const QString& name);
    // Makes the groups missing along each path of names below parentId
    // (existing ones are used as they are) and writes the tree once.
    // Refused, with nothing made, when a name breaks the name rules or a
    // group of a path, or parentId itself, is protected and closed.
    // Unchanged when every group was there.
    Result addPaths(qint64 parentId, const QList<QStringList>& paths);
    // A folder's name as a group name the name rules take: control
    // characters left out, "\" and "/" made "_", a name of blanks only (or
    // "." or "..") made "_".
    static QString nameFromFolder(const QString& folderName);
    // Renames a group; the file records of the group and its sub-groups get
    // the new path in the same transaction, and open groups keep open.
    Result rename(qint64 id, const QString& name);
    // Deletes a group and its sub-groups unless any of them holds files.
    Result remove(qint64 id);
    // Exchanges a group with the sibling above / below it. At the first /
    // last place nothing moves (Unchanged). A protected sibling stops it.
    Result moveUp(qint64 id);
    Result moveDown(qint64 id);

    // Whether oldPassword is the group's password (empty for a group without).
    Result checkOldPassword(qint64 id, const QString& oldPassword) const;
    // Sets the password (empty: removes the protection) together with the
    // node's images, after checking the old one. The group is closed after.
    Result setPassword(qint64 id, const QString& oldPassword, const QString& newPassword);

    // The protected groups that keep this group closed: itself and its
    // ancestors that are protected and not open, from the top down.
    QList<const Node*> closedChain(qint64 id) const;
    bool isClosed(qint64 id) const { return !closedChain(id).isEmpty(); }
    // Opens one protected group with its password for the rest of the run.
    Result open(qint64 id, const QString& password);

    // The clause the list loads for a selected node: the root lists all
    // files (refused while any group is protected), a group its own and its
    // sub-groups' files (refused while it is closed). Every clause leaves out
    // the files of the closed protected groups.
    Filter filterFor(qint64 id) const;
    // A clause that no record meets.
    static FilterClause nothing();

    // Whether any group has a password; a failure (LoadFailed) when wjfz
    // cannot be read.
    ::Result<bool> anyProtected() const;

private:
    Node* findMutable(qint64 id) const;
    void collect(const Node* n, QList<const Node*>* out) const;
    Result rewriteOrRestore(std::unique_ptr<Node> snapshot, const Node* focus,
                            const std::function<bool(QString*)>& extra = {});
    bool writeAll(QHash<const Node*, qint64>* ids, QString* message);
    // True when wjfz holds exactly the groups of `snapshot` (ids, parents,
    // names and passwords); nullopt when it cannot be read.
    std::optional<bool> tableMatches(const Node& snapshot);
    Result move(qint64 id, int step);

    DataStore& m_store;
    ProtectedGroups& m_open;
    std::unique_ptr<Node> m_root;
};
