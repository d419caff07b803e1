#include "ui/import/frmHoja.h"
#include "ui/app/Twips.h"

#include "shared/SharedState.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

frmHoja::frmHoja(const WorkbookSheetList &sheets, int current, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHoja"));
    setWindowTitle(QStringLiteral("Hoja del libro"));
    setFixedSize(twips::px(4800), twips::px(4200));

    lblHojas = new QLabel(QStringLiteral("Elija la hoja que tiene los artículos:"), this);
    lblHojas->setObjectName(QStringLiteral("lblHojas"));
    lblHojas->setGeometry(twips::rect(120, 90, 4560, 270));

    lstHojas = new QListWidget(this);
    lstHojas->setObjectName(QStringLiteral("lstHojas"));
    lstHojas->setGeometry(twips::rect(120, 420, 4560, 2940));
    lblHojas->setBuddy(lstHojas);
    for (const WorkbookSheetInfo &sheet : sheets)
        lstHojas->addItem(sheet.hidden ? sheet.name + QStringLiteral(" (oculta)") : sheet.name);
    if (lstHojas->count() > 0)
        lstHojas->setCurrentRow(current >= 0 && current < lstHojas->count() ? current : 0);
    lstHojas->installEventFilter(this);

    lblAyuda = new QLabel(QStringLiteral("[Enter] Tomar la hoja   [Esc] Salir"), this);
    lblAyuda->setObjectName(QStringLiteral("lblAyuda"));
    lblAyuda->setGeometry(twips::rect(120, 3510, 3000, 270));

    cmdAceptar = new QPushButton(QStringLiteral("Aceptar"), this);
    cmdAceptar->setObjectName(QStringLiteral("cmdAceptar"));
    cmdAceptar->setGeometry(twips::rect(3300, 3420, 1380, 390));
    cmdAceptar->setAutoDefault(false);
    connect(cmdAceptar, &QPushButton::clicked, this, &frmHoja::aceptar);

    lstHojas->setFocus();
    twips::fitToScreen(this);
}

void frmHoja::aceptar()
{
    if (lstHojas->currentRow() < 0) return;
    shared().sRetorno = QString::number(lstHojas->currentRow());
    accept();
}

bool frmHoja::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstHojas && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            aceptar();
            return true;
        }
        if (key == Qt::Key_Escape) {
            shared().sRetorno.clear();
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmHoja::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        shared().sRetorno.clear();
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        aceptar();
        return;
    }
    QDialog::keyPressEvent(event);
}
