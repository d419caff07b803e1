#include "ui/app/QtInteraction.h"

#include "shared/SharedState.h"
#include "ui/config/frmRelPais.h"
#include "ui/review/FrmCargaSufijos.h"
#include "ui/app/ClCntrl.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

QtInteraction &QtInteraction::instance()
{
    static QtInteraction one;
    return one;
}

UiInteraction &uiInteraction()
{
    if (auto *ui = dynamic_cast<UiInteraction *>(&interaction()))
        return *ui;
    return QtInteraction::instance();
}

QString UiInteraction::relacionPais(const QString &origin)
{
    frmRelPais dialog;
    dialog.setsPaisProceso(origin);
    dialog.Form_Load();
    runModal(dialog);
    return dialog.sPaisMaria();
}

QString UiInteraction::cargaSufijos(const QStringList &lines, const QString &current)
{
    FrmCargaSufijos chooser(QApplication::activeWindow());
    chooser.CargarOpciones(lines);
    shared().sChooserSelection.clear();
    chooser.cntrl()->sLinkListBox(chooser.list());
    chooser.cntrl()->LstBuscarStr(current);
    runModal(chooser);
    return shared().sChooserSelection;
}

static QWidget *parentFor(QWidget *preferred)
{
    return preferred ? preferred : QApplication::activeWindow();
}

Interaction::Answer QtInteraction::message(const QString &text, Icon icon, Buttons buttons, const QString &title)
{
    QMessageBox box(parentFor(m_parent));
    box.setWindowTitle(title.isEmpty() ? QStringLiteral("Planexo") : title);
    // Message texts carry VB's CR LF pairs; Qt wants plain line feeds.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(shown);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons != Buttons::Ok) {
        QPushButton *yes = box.addButton(QStringLiteral("Sí"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
        box.setDefaultButton(buttons == Buttons::YesNoDefaultNo ? no : yes);
        box.exec();
        return box.clickedButton() == yes ? Answer::Yes : Answer::No;
    }
    box.setDefaultButton(box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole));
    box.exec();
    return Answer::Ok;
}

std::optional<QString> QtInteraction::input(const QString &prompt, const QString &title, const QString &proposed)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parentFor(m_parent), title, prompt, QLineEdit::Normal, proposed, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

// "Name (*.a;*.b)|*.a;*.b" pairs become Qt's "Name (*.a *.b)" filters.
static QStringList qtFilters(const QString &filter)
{
    QStringList filters;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        QString name = parts[i];
        const int paren = name.indexOf(QLatin1Char('('));
        if (paren > 0)
            name = name.left(paren).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return filters;
}

QString QtInteraction::openFile(const QString &filter, const QString &initialName)
{
    return QFileDialog::getOpenFileName(parentFor(m_parent), QStringLiteral("Abrir"), initialName,
                                        qtFilters(filter).join(QStringLiteral(";;")));
}

QString QtInteraction::saveFile(const QString &title, const QString &filter, const QString &proposedPath)
{
    QFileDialog dialog(parentFor(m_parent), title, proposedPath,
                       qtFilters(filter).join(QStringLiteral(";;")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without its extension gets the filter's, before the overwrite question.
    const QString pattern = filter.section(QLatin1Char('|'), 1, 1).section(QLatin1Char(';'), 0, 0);
    if (pattern.startsWith(QStringLiteral("*."))) dialog.setDefaultSuffix(pattern.mid(2));
    dialog.selectFile(proposedPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
}

int QtInteraction::runModal(QDialog &dialog)
{
    return dialog.exec();
}

void QtInteraction::setBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
