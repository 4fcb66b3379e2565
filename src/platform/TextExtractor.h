#pragma once

#include "platform/Result.h"

#include <QString>

#include <functional>
#include <memory>

// The text of one stored file, for finding it by what it says.
//
// Reads plain text (UTF-8, GBK/GB18030, UTF-16 with or without byte order
// mark, others uchardet names), HTML, PDF (its text layer; pages without one
// are read by OCR when asked), .docx .xlsx .pptx .odt .ods .odp, RTF, legacy
// .doc/.xls (through catdoc/xls2csv) and, when asked, pictures by OCR
// (tesseract, Simplified Chinese and English).
//
// The text comes back as the file says it, not normalized
// (TextTokens::normalize is the indexer's step).
//
// A file's verdict is its ExtractStatus, to be recorded with the file so that
// it is not tried again and again; a failed Result means the system could not
// do the work (the helper program missing, catdoc not installed) and the file
// is worth trying later.
//
// Reading a file never runs code of the file and writes nothing. extract()
// does the work in this process; ExtractSession and runInChild() do it in a
// separate korvane-extract process under a time and memory limit, so a file
// that makes a reader hang or crash costs that process only (and OCR's
// threads are bounded there).
//
// TimedOut from extract() or from a child that stopped itself carries the
// text found until then; a child killed past the limit hands over none.
namespace TextExtractor {

enum class ExtractStatus {
    Ok,           // text found
    Empty,        // readable, but no text in it
    Unreadable,   // broken, or a reader failed on it
    Encrypted,    // needs a password
    TooLarge,     // more text than the limit: the text is cut there
    TimedOut,     // took longer than the limit: the text found until then
    Unsupported,  // a type not read (or a picture while OCR was not asked)
};

struct Limits {
    qsizetype maxTextChars = 50 * 1024 * 1024;      // UTF-16 units of text kept
    int timeLimitMs = 120000;                       // for the whole file
    qint64 maxUnpackedBytes = 512LL * 1024 * 1024;  // all entries read from a zip together
    qint64 memoryBytes = 1024LL * 1024 * 1024;      // address space of the child
    bool ocr = false;                               // read pictures and pages without text by OCR
    // The child's private working folder (0700); empty: one is made in the
    // system's temporary folder and removed afterwards.
    QString tempFolder;
    // Only for tests of the time limit: the child waits this long first.
    int stallMs = 0;
    // Asked about once a second while ExtractSession waits for the child:
    // true kills the child and the read ends as cancelled (a run that is
    // stopped need not wait for a slow file).
    std::function<bool()> cancelled;
};

struct Extracted {
    ExtractStatus status = ExtractStatus::Ok;
    QString text;
    QString detail;  // why a status other than Ok, for the log
    // A picture, or PDF pages without a text layer, left unread because
    // OCR was not asked for: worth reading again once it is.
    bool needsOcr = false;
};

// The lower-case extension without the dot ("pdf", "docx") a file is read as.
// True when `type` is one extract() reads (pictures count only with OCR).
bool supports(const QString& type, bool ocr);

// Reads the file in this process. `type` is its extension; empty takes it
// from the path.
Result<Extracted> extract(const QString& path, const QString& type, const Limits& limits);

// Reads files in a korvane-extract process: the program beside the running
// executable, or the one KORVANE_EXTRACT names. One process reads file after
// file (no start per file, the OCR engine set up once); it is killed, with
// what it started, when it runs past a file's time limit: TimedOut; one that
// crashes or runs out of memory gives Unreadable; either way the next read
// starts a new one. The memory limit and private folder are those of the
// read that starts a process. Use on one thread.
class ExtractSession {
public:
    ExtractSession();
    ~ExtractSession();
    ExtractSession(const ExtractSession&) = delete;
    ExtractSession& operator=(const ExtractSession&) = delete;

    Result<Extracted> read(const QString& path, const QString& type, const Limits& limits);

private:
    struct Child;
    Status start(const Limits& limits);
    std::unique_ptr<Child> m_child;
};

// One file in a process of its own.
Result<Extracted> runInChild(const QString& path, const QString& type, const Limits& limits);

// True when tesseract's data for Simplified Chinese and English is installed.
bool ocrAvailable();

QString statusName(ExtractStatus status);

// korvane-extract's main: "--serve" reads requests from stdin and answers
// each on stdout; a path reads that one file.
int childMain(int argc, char** argv);

}
