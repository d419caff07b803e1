#pragma once

#include "shared/Interaction.h"

class QDialog;
class QWidget;

// The interaction of the windows: it can run a dialog modally, and opens the real relation dialog
// and suffix chooser for the procedures that ask for them.
class UiInteraction : public Interaction {
public:
    // Shows a dialog modally and returns its result code.
    virtual int runModal(QDialog &dialog) = 0;

    QString relacionPais(const QString &origin) override;
    QString cargaSufijos(const QStringList &lines, const QString &current) override;
};

// The window interaction in use: the installed interaction when it is one, else the Qt one.
UiInteraction &uiInteraction();

// The implementation that shows real Qt dialogs.
class QtInteraction : public UiInteraction {
public:
    Answer message(const QString &text, Icon icon, Buttons buttons, const QString &title) override;
    std::optional<QString> input(const QString &prompt, const QString &title, const QString &proposed) override;
    QString openFile(const QString &filter, const QString &initialName) override;
    QString saveFile(const QString &title, const QString &filter, const QString &proposedPath) override;
    int runModal(QDialog &dialog) override;
    void setBusy(bool busy) override;

    // Parent of the dialogs; the active window when unset.
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    // The one instance the program installs.
    static QtInteraction &instance();

private:
    QWidget *m_parent = nullptr;
};
