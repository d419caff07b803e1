#include "ui/config/frmRelPais.h"
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

frmRelPais::frmRelPais(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRelPais"));
    setWindowTitle(QStringLiteral("Establecer Pais"));
    setFixedSize(twips::px(6000), twips::px(3000));

    Label1 = new QLabel(QStringLiteral("Valor origen"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips::rect(180, 150, 5640, 270));
    txtValor = new QLineEdit(this);
    txtValor->setObjectName(QStringLiteral("txtValor"));
    txtValor->setGeometry(twips::rect(180, 450, 5640, 360));
    Label1->setBuddy(txtValor);

    Label2 = new QLabel(QStringLiteral("Pais - Sistema Maria"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips::rect(180, 930, 5640, 270));
    cboPais = new QComboBox(this);
    cboPais->setObjectName(QStringLiteral("cboPais"));
    cboPais->setGeometry(twips::rect(180, 1230, 5640, 360));
    cboPais->setEditable(true);
    cboPais->setInsertPolicy(QComboBox::NoInsert);
    Label2->setBuddy(cboPais);

    // The twin list of country ids, at the positions of cboPais.
    cboidPais = new QComboBox(this);
    cboidPais->setObjectName(QStringLiteral("cboidPais"));
    cboidPais->setGeometry(twips::rect(4500, 930, 1320, 270));
    cboidPais->setAccessibleName(QStringLiteral("Id Pais"));
    cboidPais->setVisible(false);

    Label3 = new QLabel(QStringLiteral("Estado de Mercaderia"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(twips::rect(180, 1710, 5640, 270));
    txtESM = new QLineEdit(QStringLiteral("1"), this);
    txtESM->setObjectName(QStringLiteral("txtESM"));
    txtESM->setGeometry(twips::rect(180, 2010, 1200, 360));
    Label3->setBuddy(txtESM);

    Label4 = new QLabel(QStringLiteral("[F11] Seleccionar [ESC] Salir"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(twips::rect(180, 2580, 5640, 270));

    // The dialog sees the keys before its controls, the combo's own editor and list included.
    for (QWidget *control : {static_cast<QWidget *>(txtValor), static_cast<QWidget *>(cboPais),
                             static_cast<QWidget *>(cboPais->lineEdit()),
                             static_cast<QWidget *>(cboPais->view()), static_cast<QWidget *>(txtESM)})
        control->installEventFilter(this);
    setTabOrder(txtValor, cboPais);
    setTabOrder(cboPais, txtESM);
    txtValor->setFocus();
    twips::fitToScreen(this);
}

void frmRelPais::Form_Load()
{
    SharedState &s = shared();
    try {
        txtValor->setText(m_sPaisProceso);
        const relations::CodeList countries = relations::countries(s);
        if (!countries.ids.isEmpty()) {
            cboidPais->clear();
            cboPais->clear();
            cboidPais->addItems(countries.ids);
            cboPais->addItems(countries.names);
        }
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmRelPais.Form_Load]")),
                              Interaction::Icon::Critical);
    }
    cboPais->setCurrentIndex(-1);
    cboPais->setEditText(QString());
}

int frmRelPais::chosenCountry() const
{
    const int index = cboPais->currentIndex();
    // Typed text that is not the chosen entry's does not count as a choice.
    if (index < 0 || cboPais->itemText(index) != cboPais->currentText()) return -1;
    return index;
}

void frmRelPais::f_Grabar()
{
    SharedState &s = shared();
    if (txtValor->text().trimmed().isEmpty()) {
        interaction().message(QStringLiteral("el campo 'Valor origen' no puede estar vacio"),
                              Interaction::Icon::Critical);
        return;
    }
    if (txtESM->text().trimmed().isEmpty()) {
        interaction().message(QStringLiteral("El campo Estado de Mercaderia no puede estar vacio"),
                              Interaction::Icon::Critical);
        return;
    }
    const int chosen = chosenCountry();
    if (chosen < 0) {
        interaction().message(QStringLiteral("Debe seleccionar Pais Maria - asociado"),
                              Interaction::Icon::Exclamation);
        return;
    }
    const QString id = cboidPais->itemText(chosen);
    try {
        if (relations::addCountry(*s.gestor, txtValor->text(), id) > 0) {
            m_sPaisMaria = id;
            accept();
        }
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmRelPais.f_Grabar]")),
                              Interaction::Icon::Critical);
    }
}

bool frmRelPais::handleKey(int key)
{
    if (key == Qt::Key_F11) {
        f_Grabar();
        return true;
    }
    if (key == Qt::Key_Escape) {
        reject();
        return true;
    }
    return false;
}

bool frmRelPais::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)->key())) return true;
    return QDialog::eventFilter(watched, event);
}

void frmRelPais::keyPressEvent(QKeyEvent *event)
{
    if (handleKey(event->key())) return;
    // No default button: Enter does nothing here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}
