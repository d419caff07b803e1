#include "ui/import/frmCampos.h"
#include "ui/app/Twips.h"

#include "import/FieldLabels.h"
#include "shared/SharedState.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>

frmCampos::frmCampos(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCampos"));
    setWindowTitle(QStringLiteral("Establecer Campo"));
    setFixedSize(twips::px(3300), twips::px(720));

    cboCampos = new QComboBox(this);
    cboCampos->setObjectName(QStringLiteral("cboCampos"));
    cboCampos->setAccessibleName(QStringLiteral("Campo"));
    cboCampos->setEditable(false);
    cboCampos->setGeometry(twips::px(180), twips::px(180), width() - twips::px(360), twips::px(360));
    cboCampos->addItems(fieldlabels::chooserEntries());
    cboCampos->setCurrentIndex(0);

    // The dialog sees the keys before the list does, also while the list is dropped down.
    cboCampos->installEventFilter(this);
    cboCampos->view()->installEventFilter(this);
    cboCampos->setFocus();
    twips::fitToScreen(this);
}

bool frmCampos::handleKey(QObject *watched, int key)
{
    if (key == Qt::Key_Escape) {
        cboCampos->hidePopup();
        shared().sRetorno.clear();
        reject();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched == cboCampos) {
        shared().sRetorno = cboCampos->currentText();
        accept();
        return true;
    }
    return false;
}

bool frmCampos::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(watched, static_cast<QKeyEvent *>(event)->key()))
        return true;
    return QDialog::eventFilter(watched, event);
}

void frmCampos::keyPressEvent(QKeyEvent *event)
{
    if (handleKey(this, event->key()))
        return;
    // No default button: Enter anywhere but in the list does nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}
