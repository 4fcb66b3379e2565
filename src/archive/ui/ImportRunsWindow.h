#pragma once

#include "archive/BatchImport.h"

#include <QDialog>

class DataStore;
class QPushButton;
class QTableWidget;

// Window "撤销导入": the latest batch import runs not undone (at most
// Latest), newest first, with when, who, into which group and how many
// records; "撤销" moves the records of the chosen run that are still there
// into the trash (BatchImport::undoJob), after its question. Runs into a
// closed protected group are not listed.
class ImportRunsWindow : public QDialog {
    Q_OBJECT
public:
    static inline const QString Title = QStringLiteral("撤销导入");
    static constexpr int Latest = 10;

    // setup names the archive, folder, operator and open groups; its run is
    // the one chosen.
    ImportRunsWindow(DataStore& store, BatchImport::UndoSetup setup, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    // The runs listed, in the table's order.
    const QList<qint64>& runs() const { return m_runs; }

    // Undoes run `setup.run` in a job window over parent and says how it
    // ended; true when records were moved.
    static bool undo(const BatchImport::UndoSetup& setup, QWidget* parent);

public slots:
    void reload();
    void undoChosen();

private:
    DataStore& m_store;
    BatchImport::UndoSetup m_setup;
    QTableWidget* m_table = nullptr;
    QPushButton* m_undo = nullptr;
    QList<qint64> m_runs;
};
