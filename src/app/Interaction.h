#pragma once

#include <QString>
#include <optional>

class QDialog;
class QWidget;

// Every message box, input box, file dialog and modal window goes through this interface, so that
// tests answer them with a script.
class Interaction {
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Interaction() = default;

    // A message box; the title is the program's when empty.
    virtual Answer message(const QString &text, Icon icon, Buttons buttons = Buttons::Ok,
                           const QString &title = QString()) = 0;
    // An input box; nullopt when the operator cancels.
    virtual std::optional<QString> input(const QString &prompt, const QString &title,
                                         const QString &proposed) = 0;
    // An open-file dialog with a VB-style filter ("Name (*.a;*.b)|*.a;*.b"); empty when cancelled.
    virtual QString openFile(const QString &filter, const QString &initialName = QString()) = 0;
    // Shows a dialog modally and returns its result code.
    virtual int runModal(QDialog &dialog) = 0;
    // The hourglass pointer.
    virtual void setBusy(bool busy) = 0;

    // Convenience for the most common box: a text with one OK button.
    void inform(const QString &text, Icon icon) { message(text, icon, Buttons::Ok); }
};

// The interaction the program uses now; the Qt one unless a test installed another.
Interaction &interaction();
// Installs an interaction (nullptr restores the Qt one); returns the previous one.
Interaction *setInteraction(Interaction *replacement);

// The implementation that shows real Qt dialogs.
class QtInteraction : public Interaction {
public:
    Answer message(const QString &text, Icon icon, Buttons buttons, const QString &title) override;
    std::optional<QString> input(const QString &prompt, const QString &title, const QString &proposed) override;
    QString openFile(const QString &filter, const QString &initialName) override;
    int runModal(QDialog &dialog) override;
    void setBusy(bool busy) override;

    // Parent of the dialogs; the active window when unset.
    void setParentWidget(QWidget *parent) { m_parent = parent; }

private:
    QWidget *m_parent = nullptr;
};

// Shows the hourglass for the lifetime of the object, also when an error leaves the scope.
class BusyCursor {
public:
    BusyCursor() { interaction().setBusy(true); }
    ~BusyCursor() { interaction().setBusy(false); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
