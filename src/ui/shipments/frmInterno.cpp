#include "ui/shipments/frmInterno.h"
#include "ui/app/Twips.h"

#include "shared/Interaction.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "shipments/Shipments.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

frmInterno::frmInterno(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmInterno"));
    setWindowTitle(QStringLiteral("Nuevo Interno"));
    setFixedSize(twips::px(4950), twips::px(2250));

    Label1 = new QLabel(QStringLiteral("Interno"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips::rect(180, 150, 4500, 270));
    txtInterno = new QLineEdit(this);
    txtInterno->setObjectName(QStringLiteral("txtInterno"));
    txtInterno->setGeometry(twips::rect(180, 450, 4590, 360));
    Label1->setBuddy(txtInterno);

    Label2 = new QLabel(QStringLiteral("Descripcion"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips::rect(180, 930, 4500, 270));
    txtDescripcion = new QLineEdit(this);
    txtDescripcion->setObjectName(QStringLiteral("txtDescripcion"));
    txtDescripcion->setGeometry(twips::rect(180, 1230, 4590, 360));
    Label2->setBuddy(txtDescripcion);

    Label3 = new QLabel(QStringLiteral("[F11] Agregar - [Esc] Salir"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(twips::rect(180, 1770, 4590, 270));

    // The dialog sees the keys before its text boxes.
    txtInterno->installEventFilter(this);
    txtDescripcion->installEventFilter(this);
    setTabOrder(txtInterno, txtDescripcion);
    txtInterno->setFocus();
    twips::fitToScreen(this);
}

bool frmInterno::handleKey(int key)
{
    if (key == Qt::Key_F11) {
        NuevoInterno();
        return true;
    }
    if (key == Qt::Key_Escape) {
        reject();
        return true;
    }
    return false;
}

bool frmInterno::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)->key()))
        return true;
    return QDialog::eventFilter(watched, event);
}

void frmInterno::keyPressEvent(QKeyEvent *event)
{
    if (handleKey(event->key()))
        return;
    // No default button: Enter does nothing here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void frmInterno::NuevoInterno()
{
    SharedState &s = shared();
    try {
        if (txtInterno->text().trimmed().isEmpty()) {
            interaction().message(QStringLiteral("Debe ingresar el número interno"), Interaction::Icon::Exclamation);
            return;
        }
        if (txtDescripcion->text().trimmed().isEmpty())
            txtDescripcion->setText(txtInterno->text());
        if (shipments::create(*s.gestor, txtInterno->text(), txtDescripcion->text())) {
            s.bInternoNuevo = true;
            m_added = txtInterno->text().replace(QLatin1Char('\''), QLatin1Char(' '));
        }
        accept();
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmInterno.NuevoInterno]")),
                              Interaction::Icon::Critical);
    }
}
