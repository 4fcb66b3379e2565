#pragma once

#include <QFrame>

struct AppContext;
class CommandRouter;
class DataStore;
class Workspace;

// The edit panel "外形框1": shows the current record, and adds or modifies one.
class EditPanel : public QFrame {
    Q_OBJECT
public:
    enum class Mode { Showing, Adding, Modifying };

    EditPanel(AppContext& context, DataStore& store, Workspace& workspace, QWidget* parent = nullptr);

    // Registers the record commands: add, modify, save, cancel, delete,
    // "当前分组中增加文件", "另存为..." (both menus), "删除文件", "文件属性".
    void registerCommands(CommandRouter& router);
    // Shows record id (-1: empty panel) while in showing mode.
    void showRecord(qint64 id);
    // Reads the spare-field titles from lbsz again.
    void reloadTitles();
    Mode mode() const { return m_mode; }

private:
    AppContext& m_context;
    DataStore& m_store;
    Workspace& m_workspace;
    Mode m_mode = Mode::Showing;
};
