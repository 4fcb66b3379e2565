#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class DataStore;
class RecordSet;
class RowStream;

// What the checks of the archive read of wj, wjhs (the trash) and wjnr: each
// record's recorded
// size, SHA-256 and kept file and, where the database holds it, the content
// itself, in one forward pass that never holds more than a row; and the
// figures over the records that the checks compare with them.
class ContentCheckRows {
public:
    // Which records a pass walks.
    enum class Records {
        Kept,  // those with a kept file (lj not empty)
        Held,  // those whose content the database holds
        All,   // every record in id order, with its held content where there is one
        // The contents of the versions (bbnr), each once: id 0, no number or
        // name, the content's size, kept file and SHA-256, and its bytes
        // where they are inline (held). Nothing on an archive without them.
        Versions,
    };

    // One record of a pass. `content` is valid until the next step (held
    // content with Records::Held and Records::All only).
    struct Row {
        qint64 id = 0;
        QString number;    // bh
        QString name;      // mc (Records::All only)
        QString type;      // lx (Records::All only)
        QString group;     // fz (Records::All only)
        qint64 size = 0;   // dxsz
        QString keptPath;  // lj
        QString sha256;
        bool held = false;
        bool trashed = false;  // a record in the trash
        QByteArrayView content;
    };

    enum class Step { Row, Done, Failed };

    explicit ContentCheckRows(DataStore& store);
    ~ContentCheckRows();
    ContentCheckRows(const ContentCheckRows&) = delete;
    ContentCheckRows& operator=(const ContentCheckRows&) = delete;

    // Starts a pass; next() then hands over its records one at a time.
    [[nodiscard]] Result<> start(Records records);
    [[nodiscard]] Step next(Row* row);
    // Why the pass failed (after Step::Failed).
    QString error() const { return m_error; }

    // The figures below count the records in the trash too.
    // The sum of the recorded sizes.
    [[nodiscard]] Result<qint64> recordedBytes();
    // Numbers that more than one record carries, in order, with how many do.
    struct Shared {
        QString number;
        qint64 records = 0;
    };
    [[nodiscard]] Result<QList<Shared>> sharedNumbers();
    // The highest number of ten digits in use; none when no record has one.
    [[nodiscard]] Result<std::optional<qint64>> highestNumber();

private:
    // Whether the archive has a trash (an older copy may not).
    Result<> learnTrash();

    DataStore& m_store;
    Records m_records = Records::All;
    std::unique_ptr<RowStream> m_stream;
    std::unique_ptr<RecordSet> m_set;
    bool m_first = true;
    bool m_withTrash = false;
    bool m_trashKnown = false;
    QByteArray m_content;
    QString m_error;
};
