#pragma once

#include "ui/app/QtInteraction.h"

#include <QDialog>
#include <QStringList>
#include <QVector>
#include <deque>
#include <functional>
#include <optional>

// The test double of the interaction interface: answers each prompt from a script, checks its
// exact text, icon and buttons, and records every deviation. Installs itself while it lives.
class ScriptedInteraction : public UiInteraction {
public:
    using ModalDriver = std::function<int(QDialog &)>;

    ScriptedInteraction();
    ~ScriptedInteraction() override;

    void expectMessage(const QString &text, Icon icon, Buttons buttons = Buttons::Ok, Answer answer = Answer::Ok);
    void expectInput(const QString &prompt, const QString &title, const QString &proposed,
                     std::optional<QString> answer);
    void expectOpenFile(const QString &filter, const QString &answer);
    // A save-file dialog with this title and filter, proposing this path; answers `answer`
    // (empty: cancelled).
    void expectSaveFile(const QString &title, const QString &filter, const QString &proposedPath,
                        const QString &answer);
    // The dialog with this object name is handed to the driver instead of exec(); the driver returns
    // its result code (usually dialog.result() after sending keys).
    void expectModal(const QString &objectName, ModalDriver driver);

    // True when every prompt was expected and every expectation was used.
    bool ok() const { return m_failures.isEmpty() && m_script.empty(); }
    QString report() const;
    // Every prompt shown, in order ("message: <text>", "input: <prompt>", ...).
    const QStringList &log() const { return m_log; }
    int busyCalls() const { return m_busyCalls; }
    int busyDepth() const { return m_busyDepth; }
    void clear();

    Answer message(const QString &text, Icon icon, Buttons buttons, const QString &title) override;
    std::optional<QString> input(const QString &prompt, const QString &title, const QString &proposed) override;
    QString openFile(const QString &filter, const QString &initialName) override;
    // Where the last file dialog opened.
    QString lastOpenFileFolder() const { return m_lastOpenFileFolder; }
    QString saveFile(const QString &title, const QString &filter, const QString &proposedPath) override;
    int runModal(QDialog &dialog) override;
    void setBusy(bool busy) override;

private:
    QString m_lastOpenFileFolder;
    enum class Kind { Message, Input, OpenFile, SaveFile, Modal };
    struct Step {
        Kind kind;
        QString text, title, proposed;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        Answer answer = Answer::Ok;
        std::optional<QString> inputAnswer;
        ModalDriver driver;
        QString filter; // of a save-file dialog
    };
    static QString kindName(Kind kind);
    bool take(Kind kind, const QString &what, Step *step);

    std::deque<Step> m_script;
    QStringList m_failures;
    QStringList m_log;
    Interaction *m_previous = nullptr;
    int m_busyCalls = 0;
    int m_busyDepth = 0;
};

#define VERIFY_SCRIPT(script) QVERIFY2((script).ok(), qPrintable((script).report()))
