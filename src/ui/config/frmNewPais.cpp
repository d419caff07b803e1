#include "ui/config/frmNewPais.h"
#include "ui/app/Twips.h"

#include "config/Relations.h"
#include "data/PlanexoError.h"
#include "shared/Interaction.h"
#include "shared/SharedState.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

frmNewPais::frmNewPais(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNewPais"));
    setWindowTitle(QStringLiteral("Nueva Relación Pais - Origen"));
    setFixedSize(twips::px(4950), twips::px(2280));

    lblNCM = new QLabel(QStringLiteral("NCM"), this);
    lblNCM->setObjectName(QStringLiteral("lblNCM"));
    lblNCM->setGeometry(twips::rect(180, 150, 4590, 270));
    txtNCM = new QLineEdit(this);
    txtNCM->setObjectName(QStringLiteral("txtNCM"));
    txtNCM->setGeometry(twips::rect(180, 450, 4590, 360));
    lblNCM->setBuddy(txtNCM);

    lblUnidad = new QLabel(QStringLiteral("Unidad Declarada"), this);
    lblUnidad->setObjectName(QStringLiteral("lblUnidad"));
    lblUnidad->setGeometry(twips::rect(180, 930, 4590, 270));
    cboUnidad = new QComboBox(this);
    cboUnidad->setObjectName(QStringLiteral("cboUnidad"));
    cboUnidad->setGeometry(twips::rect(180, 1230, 4590, 360));
    lblUnidad->setBuddy(cboUnidad);
    cboIdUnidad = new QComboBox(this);
    cboIdUnidad->setObjectName(QStringLiteral("cboIdUnidad"));
    cboIdUnidad->setGeometry(twips::rect(180, 1230, 4590, 360));
    cboIdUnidad->setAccessibleName(QStringLiteral("Id de unidad declarada"));
    cboIdUnidad->setVisible(false);

    lblHint = new QLabel(QStringLiteral("[F11] Guardar - [ESC] Salir"), this);
    lblHint->setObjectName(QStringLiteral("lblHint"));
    lblHint->setGeometry(twips::rect(180, 1830, 4590, 270));

    // The dialog sees the keys before its controls, also while the unit list is dropped down.
    txtNCM->installEventFilter(this);
    cboUnidad->installEventFilter(this);
    cboUnidad->view()->installEventFilter(this);
    setTabOrder(txtNCM, cboUnidad);
    txtNCM->setFocus();

    Form_Load();
    twips::fitToScreen(this);
}

void frmNewPais::Form_Load()
{
    SharedState &s = shared();
    try {
        if (!s.enlace)
            throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                               QStringLiteral("Planexo"));
        DataConnection &calvera = s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
        const relations::CodeList units = relations::units(calvera);
        if (!units.ids.isEmpty()) {
            cboUnidad->addItems(units.names);
            cboIdUnidad->addItems(units.ids);
        }
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmNewPais.Form_Load]")),
                              Interaction::Icon::Critical);
    }
    // No unit is proposed: the operator must choose one.
    cboUnidad->setCurrentIndex(-1);
    cboIdUnidad->setCurrentIndex(-1);
}

void frmNewPais::AgregarRelacionPaisOrigen()
{
    SharedState &s = shared();
    try {
        const QString ncm = txtNCM->text();
        const int position = cboUnidad->currentIndex();
        const QString unit =
            position >= 0 && position < cboIdUnidad->count() ? cboIdUnidad->itemText(position) : QString();
        if (ncm.trimmed().isEmpty()) {
            interaction().message(QStringLiteral("Debe ingresar algun datos en el campo Nomenclador"),
                                  Interaction::Icon::Exclamation);
            return;
        }
        if (unit.trimmed().isEmpty()) {
            interaction().message(QStringLiteral("Debe seleccionar un Unidad declarada"),
                                  Interaction::Icon::Exclamation);
            return;
        }
        if (!s.gestor)
            throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                               QStringLiteral("Planexo"));
        if (relations::addDeclaredUnit(*s.gestor, ncm, unit) > 0) {
            s.sNewRuleNcm = ncm;
            s.sNewRuleUnit = unit;
            accept();
        }
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmNewPais.AgregarRelacionPaisOrigen]")),
            Interaction::Icon::Critical);
    }
}

bool frmNewPais::handleKey(int key)
{
    if (key == Qt::Key_F11 || key == Qt::Key_Escape) cboUnidad->hidePopup();
    if (key == Qt::Key_F11) {
        AgregarRelacionPaisOrigen();
        return true;
    }
    if (key == Qt::Key_Escape) {
        shared().sNewRuleNcm.clear();
        shared().sNewRuleUnit.clear();
        reject();
        return true;
    }
    return false;
}

bool frmNewPais::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)->key())) return true;
    return QDialog::eventFilter(watched, event);
}

void frmNewPais::keyPressEvent(QKeyEvent *event)
{
    if (handleKey(event->key())) return;
    // No default button: Enter does nothing here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}
