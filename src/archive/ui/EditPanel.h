#pragma once

#include <QFrame>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

struct AppContext;
class CommandRouter;
class DataStore;
class FileRecords;
class PropertiesWindow;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;
class Workspace;

// The edit panel "外形框1": shows the current record, and adds or modifies one.
class EditPanel : public QFrame {
    Q_OBJECT
public:
    enum class Mode { Showing, Adding, Modifying };

    EditPanel(AppContext& context, DataStore& store, Workspace& workspace, QWidget* parent = nullptr);
    ~EditPanel() override;

    // Registers the record commands: add, modify, save, cancel, delete,
    // "当前分组中增加文件", "另存为..." (both menus), "删除文件", "文件属性".
    void registerCommands(CommandRouter& router);
    // Shows record id (-1: empty panel) while in showing mode.
    void showRecord(qint64 id);
    // Reads the spare-field titles from lbsz again.
    void reloadTitles();
    Mode mode() const { return m_mode; }

    // The commands (the main window tests the rights before it calls them).
    void startAdd(const QString& group = {});
    void startAddInSelectedGroup();
    void startModify();
    bool save();
    void cancel();
    void deleteSelected();
    void saveAsSelected();
    void showProperties();

    // The dirty check before the panel leaves a pending add or change:
    // true when it may go on (saved, dropped, or nothing pending).
    bool leavePending();
    bool isDirty() const { return m_dirty; }
    qint64 shownId() const { return m_id; }
    QString chosenFile() const { return m_sourcePath; }
    FileRecords& records() { return *m_records; }
    PropertiesWindow* propertiesWindow() const;

    // Stand-ins for the choosers (tests, or a host with its own windows).
    using GroupChooser = std::function<std::optional<QString>()>;
    using OptionChooser = std::function<std::optional<QString>(int field, const QStringList& options)>;
    void setGroupChooser(GroupChooser f) { m_groupChooser = std::move(f); }
    void setOptionChooser(OptionChooser f) { m_optionChooser = std::move(f); }

private:
    void buildUnits();
    void setMode(Mode m);
    void clearUnits();
    void fill(qint64 id);
    void chooseFile();
    void chooseGroup();
    void chooseOption(int field);
    void showDateBox(int field);
    void markDirty() { if (m_mode != Mode::Showing) m_dirty = true; }
    QString fileFilter() const;
    qint64 sizeBound() const;
    void showResultMessages(bool logFailed);

    AppContext& m_context;
    DataStore& m_store;
    Workspace& m_workspace;
    Mode m_mode = Mode::Showing;
    std::unique_ptr<FileRecords> m_records;

    QLineEdit* m_number = nullptr;
    QLineEdit* m_name = nullptr;
    QToolButton* m_nameButton = nullptr;
    QLineEdit* m_group = nullptr;
    QToolButton* m_groupButton = nullptr;
    QLineEdit* m_type = nullptr;
    QLineEdit* m_size = nullptr;
    QLabel* m_spareLabels[15] = {};
    QLineEdit* m_spareEdits[15] = {};
    QToolButton* m_spareButtons[15] = {};
    QDateEdit* m_dateBoxes[3] = {};
    QPlainTextEdit* m_remark = nullptr;

    qint64 m_id = -1;          // the record shown or being modified
    QString m_sourcePath;      // the file chosen for an add or a replacement
    bool m_dirty = false;
    bool m_filling = false;
    GroupChooser m_groupChooser;
    OptionChooser m_optionChooser;
    QPointer<PropertiesWindow> m_properties;
};
