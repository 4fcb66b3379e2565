#pragma once

#include "platform/Prompter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

// A Prompter for tests: records every text and title shown, and answers
// questions, input boxes and choosers from a queue the test fills. A prompt
// with no queued answer fails the running test (and answers no / cancel).
// Installs itself on construction and restores the previous one on destruction.
class ScriptedPrompter final : public Prompter {
public:
    enum class Kind { Message, Question, Input, OpenFile, OpenFiles, SaveFile, Folder };
    struct Shown {
        Kind kind;
        QString title;
        QString text;
        Icon icon = Icon::Question;  // the icon of a message box
        bool yesDefault = false;     // a question whose default button is yes
    };

    ScriptedPrompter();
    ~ScriptedPrompter() override;

    // Answers, taken in order by the next prompts that need one.
    void answerYes() { m_answers.append(QVariant(true)); }
    void answerNo() { m_answers.append(QVariant(false)); }
    void answerText(const QString& text) { m_answers.append(QVariant(text)); }
    void answerFiles(const QStringList& files) { m_answers.append(QVariant(files)); }
    // Cancels the next input box or chooser.
    void answerCancel() { m_answers.append(QVariant()); }
    // Runs f when the next message box is shown (modal-loop stand-in), e.g. to
    // check the state at that moment.
    void onNextMessage(std::function<void(const Shown&)> f) { m_onMessage = std::move(f); }

    const QList<Shown>& shown() const { return m_shown; }
    QStringList texts() const;
    QStringList messages() const;  // texts of message boxes only
    QString lastText() const { return m_shown.isEmpty() ? QString() : m_shown.last().text; }
    QString lastTitle() const { return m_shown.isEmpty() ? QString() : m_shown.last().title; }
    int pendingAnswers() const { return int(m_answers.size()); }
    int unexpected() const { return m_unexpected; }
    void clear()
    {
        m_shown.clear();
        m_answers.clear();
        m_unexpected = 0;
    }

    void message(const QString& text, const QString& title, Icon icon) override;
    bool question(const QString& text, const QString& title) override;
    bool questionYesDefault(const QString& text, const QString& title) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& initial,
                                 bool password) override;
    QString openFile(const QString& title, const QString& directory, const QString& filter) override;
    QStringList openFiles(const QString& title, const QString& directory, const QString& filter) override;
    QString saveFile(const QString& title, const QString& suggestedPath, const QString& filter) override;
    QString chooseFolder(const QString& prompt, const QString& directory) override;

    // Filters given to the last file chooser.
    QString lastFilter() const { return m_lastFilter; }

private:
    QVariant take(Kind kind, const QString& title, const QString& text);

    QList<Shown> m_shown;
    QList<QVariant> m_answers;
    int m_unexpected = 0;
    QString m_lastFilter;
    std::function<void(const Shown&)> m_onMessage;
    Prompter* m_previous = nullptr;
};
