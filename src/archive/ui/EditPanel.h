#pragma once

#include "archive/StoreFolder.h"
#include "store/WjColumns.h"

#include <QFrame>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class CurrentOperator;
class DataStore;
class FileOpening;
class FileRecords;
class ProtectedGroups;
class PropertiesWindow;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

// The edit panel "外形框1": shows the current record, and adds or modifies one.
// It knows nothing of the list: the host hands each slot the records it acts
// on and answers reloadListRequested and progressChanged.
class EditPanel : public QFrame {
    Q_OBJECT
public:
    enum class Mode { Showing, Adding, Modifying };

    EditPanel(DataStore& store, const StoreFolder& storeFolder, const CurrentOperator& op,
              ProtectedGroups& protectedGroups, QWidget* parent = nullptr);
    ~EditPanel() override;

    // The allowed file types (zdbh '文件类型') and the size bound in megabytes
    // (zdbh '文件尺寸') as the dictionary holds them; an add or a change reads
    // them when it starts.
    void setFileLimits(const QString& typesCode, const QString& sizeCode);
    // Reads the spare-field titles from lbsz again.
    void reloadTitles();
    Mode mode() const { return m_mode; }

public slots:
    // Shows record id (-1: empty panel) while in showing mode.
    void showRecord(qint64 id);

    // The record commands (the host tests the rights before it calls them).
    // Add, into `group` (empty: none chosen yet).
    void startAdd(const QString& group = {});
    // Modify record id (the list's current record; -1: none).
    void startModify(qint64 id);
    bool save();
    // Drops a pending add or change; shows the record being modified again,
    // or `listCurrent` after an add.
    void cancel(qint64 listCurrent = -1);
    // Deletes the records (the list's selection), after the question.
    void deleteRecords(const QList<qint64>& ids);
    // Saves the file of record id to a place the operator chooses.
    void saveAs(qint64 id);
    // Opens the properties window of record id.
    // listName: the name the list shows for id, said when the record is gone.
    void showProperties(qint64 id, const QString& listName = {});
    // "打开": writes the content of record id (-1: none) into the extraction
    // folder, hands it to the desktop's program for its type and counts the view.
    void openRecord(qint64 id);

signals:
    // Opening found the kept file gone and the operator chose not to keep
    // the record: the host deletes it as the delete command does (its right,
    // its question, its log line).
    void deleteRequested(qint64 id);
    // The records changed: the list should load them again.
    void reloadListRequested();
    // A record was added; the list should select it once it shows it.
    void recordAdded(qint64 id);
    // Position 0..100 of a long add, change or save-as; -1 when it ended.
    void progressChanged(int percent);

public:
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
    // What hands an extracted file to the desktop; false when it could not
    // (the desktop's association by default; tests record the paths instead).
    using Opener = std::function<bool(const QString& path)>;
    void setOpener(Opener f) { m_opener = std::move(f); }
    FileOpening& opening() { return *m_opening; }

private:
    void buildUnits();
    void setMode(Mode m);
    void clearUnits();
    void fill(qint64 id);
    void chooseFile();
    void chooseGroup();
    void chooseOption(int field);
    void showDateBox(int field);
    void markDirty()
    {
        if (m_mode != Mode::Showing)
            m_dirty = true;
    }
    QString fileFilter() const;
    qint64 sizeBound() const;
    void showResultMessages(bool logFailed);

    DataStore& m_store;
    ProtectedGroups& m_protectedGroups;
    QString m_fileTypes = QStringLiteral("A");
    QString m_fileSize = QStringLiteral("1");
    Mode m_mode = Mode::Showing;
    std::unique_ptr<FileRecords> m_records;
    std::unique_ptr<FileOpening> m_opening;
    Opener m_opener;

    QLineEdit* m_number = nullptr;
    QLineEdit* m_name = nullptr;
    QToolButton* m_nameButton = nullptr;
    QLineEdit* m_group = nullptr;
    QToolButton* m_groupButton = nullptr;
    QLineEdit* m_type = nullptr;
    QLineEdit* m_size = nullptr;
    QLabel* m_spareLabels[WjColumns::SpareCount] = {};
    QLineEdit* m_spareEdits[WjColumns::SpareCount] = {};
    QToolButton* m_spareButtons[WjColumns::SpareCount] = {};
    QDateEdit* m_dateBoxes[WjColumns::DateSpares] = {};
    QPlainTextEdit* m_remark = nullptr;

    qint64 m_id = -1;      // the record shown or being modified
    QString m_sourcePath;  // the file chosen for an add or a replacement
    bool m_dirty = false;
    bool m_filling = false;
    GroupChooser m_groupChooser;
    OptionChooser m_optionChooser;
    QPointer<PropertiesWindow> m_properties;
};
