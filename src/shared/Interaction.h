#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Every message box, input box, file dialog and modal window goes through this interface, so that
// tests answer them with a script and the batch command runs without asking anybody. The windows
// implement it with real dialogs.
class Interaction {
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };
    // YesNoDefaultNo: Yes and No with No as the default button, for a question whose Yes loses work.
    enum class Buttons { Ok, YesNo, YesNoDefaultNo };
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
    // A save-file dialog with a VB-style filter, opening on the proposed path; it asks before
    // replacing an existing file. Empty when cancelled, and where nobody can be asked.
    virtual QString saveFile(const QString &title, const QString &filter, const QString &proposedPath);
    // The hourglass pointer.
    virtual void setBusy(bool busy) = 0;

    // The modal windows that procedures without a window of their own open. Where nobody can be
    // asked they fail with an error instead of answering for the operator.
    //
    // The country-of-origin relation dialog for an origin text: the code of the country chosen,
    // empty when the dialog closed without one.
    virtual QString relacionPais(const QString &origin);
    // The suffix chooser over its lines with `current` preselected: the chosen line, empty when
    // the chooser closed without one.
    virtual QString cargaSufijos(const QStringList &lines, const QString &current);

    // Convenience for the most common box: a text with one OK button.
    void inform(const QString &text, Icon icon) { message(text, icon, Buttons::Ok); }
};

// The interaction in use: the one installed last, or else one that asks nobody (messages go to
// the standard error, questions are answered "No" or cancelled, windows fail).
Interaction &interaction();
// Installs an interaction (nullptr restores the one that asks nobody); returns the previous one.
Interaction *setInteraction(Interaction *replacement);

// Shows the hourglass for the lifetime of the object, also when an error leaves the scope.
class BusyCursor {
public:
    BusyCursor() { interaction().setBusy(true); }
    ~BusyCursor() { interaction().setBusy(false); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
