#include "ui/process/ResultsPanel.h"
#include "ui/app/Twips.h"

#include "ui/process/ControlPrintouts.h"
#include "ui/app/QtInteraction.h"
#include "shared/SharedState.h"
#include "process/ResultCounts.h"
#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "ui/review/frmDEP.h"
#include "ui/review/frmModificar.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>

ResultsPanel::ResultsPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("FRAM3"));
    setFrameShape(QFrame::NoFrame);

    Label6 = new QLabel(QStringLiteral("Resultados del proceso automático"), this);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setGeometry(twips::rect(120, 90, 4800, 300));
    QFont heading = Label6->font();
    heading.setBold(true);
    Label6->setFont(heading);

    FRAM3_lbTotal = countLabel("FRAM3_lbTotal", QStringLiteral("Total de Registros"), 0);
    FRAM3_lbErroneos = countLabel("FRAM3_lbErroneos", QStringLiteral("Registros con Errores"), 1);
    FRAM3_lbErrPos = countLabel("FRAM3_lbErrPos", QStringLiteral("Errores de Posición"), 2);
    FRAM3_lbErrSuf = countLabel("FRAM3_lbErrSuf", QStringLiteral("Errores de Sufijos"), 3);
    FRAM3_lbEnCatalogo = countLabel("FRAM3_lbEnCatalogo", QStringLiteral("Articulos en Catalogo"), 4);
    FRAM3_lbNuevos = countLabel("FRAM3_lbNuevos", QStringLiteral("Articulos Nuevos"), 5);

    Label5 = new QLabel(QStringLiteral("Depuración de registros"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(twips::rect(5700, 90, 3600, 300));
    Label5->setFont(heading);
    FRAM3_cmdRegErr = new QPushButton(QStringLiteral("Datos con Errores"), this);
    FRAM3_cmdRegErr->setObjectName(QStringLiteral("FRAM3_cmdRegErr"));
    FRAM3_cmdRegErr->setAccessibleName(QStringLiteral("Lista de datos con errores"));
    FRAM3_cmdRegErr->setGeometry(twips::rect(5700, 480, 2700, 420));
    FRAM3_cmdRegOk = new QPushButton(QStringLiteral("Registros OK"), this);
    FRAM3_cmdRegOk->setObjectName(QStringLiteral("FRAM3_cmdRegOk"));
    FRAM3_cmdRegOk->setAccessibleName(QStringLiteral("Lista de registros OK"));
    FRAM3_cmdRegOk->setGeometry(twips::rect(5700, 990, 2700, 420));
    connect(FRAM3_cmdRegErr, &QPushButton::clicked, this, [this] { showRecordList(1); });
    connect(FRAM3_cmdRegOk, &QPushButton::clicked, this, [this] { showRecordList(2); });

    Label19 = new QLabel(QStringLiteral("Impresiones de control"), this);
    Label19->setObjectName(QStringLiteral("Label19"));
    Label19->setGeometry(twips::rect(5700, 1950, 3600, 300));
    Label19->setFont(heading);
    FRAM3_cmdRepErr = new QPushButton(QStringLiteral("Datos con Errores"), this);
    FRAM3_cmdRepErr->setObjectName(QStringLiteral("FRAM3_cmdRepErr"));
    FRAM3_cmdRepErr->setAccessibleName(QStringLiteral("Impresión de datos con errores"));
    FRAM3_cmdRepErr->setGeometry(twips::rect(5700, 2340, 2700, 420));
    FRAM3_cmdRepOK = new QPushButton(QStringLiteral("Registros OK"), this);
    FRAM3_cmdRepOK->setObjectName(QStringLiteral("FRAM3_cmdRepOK"));
    FRAM3_cmdRepOK->setAccessibleName(QStringLiteral("Impresión de registros OK"));
    FRAM3_cmdRepOK->setGeometry(twips::rect(5700, 2850, 2700, 420));
    connect(FRAM3_cmdRepErr, &QPushButton::clicked, this,
            [this] { ControlPrintouts::FRAM3_cmdRepErr_Click(this); });
    connect(FRAM3_cmdRepOK, &QPushButton::clicked, this,
            [this] { ControlPrintouts::FRAM3_cmdRepOK_Click(this); });
}

QLabel *ResultsPanel::countLabel(const char *name, const QString &caption, int row)
{
    const int y = 40 + row * 30;
    auto *label = new QLabel(caption, this);
    label->setGeometry(twips::rect(360, y * 15, 3000, 330));
    auto *count = new QLabel(QStringLiteral("0000"), this);
    count->setObjectName(QString::fromLatin1(name));
    count->setGeometry(twips::rect(3480, y * 15, 1200, 330));
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    count->setFrameShape(QFrame::Panel);
    count->setFrameShadow(QFrame::Sunken);
    // The count is read out as it stands, described by its caption.
    count->setAccessibleDescription(caption);
    label->setBuddy(count);
    return count;
}

// The record lists window is not modal and there is one at a time: while it is open a button only
// changes the mode and brings it forward; closing it deletes it, so the next press loads a new one.
void ResultsPanel::showRecordList(int mode)
{
    shared().iModoLista = mode;
    if (!m_frmDEP) {
        frmDEP *form = new frmDEP(window());
        // The hook lives in the window it opens the editor over; a save changes the counts.
        form->editor = [this, form](const QString &tag) {
            frmModificar editor(form);
            editor.setTag(tag);
            uiInteraction().runModal(editor);
            refreshAfterSave();
        };
        form->groupEditor = [this, form](const QStringList &tags) {
            frmModificar editor(form);
            editor.setTags(tags);
            uiInteraction().runModal(editor);
            refreshAfterSave();
        };
        m_frmDEP = form;
    }
    m_frmDEP->show();
    m_frmDEP->raise();
    m_frmDEP->activateWindow();
}

void ResultsPanel::refreshAfterSave()
{
    if (shared().sRetorno != QLatin1String("OK")) return;
    try {
        FRAM3_CargarEstadisticas();
    } catch (const PlanexoError &e) {
        // As the wizard reports a failure of the counts.
        interaction().message(e.description() + QStringLiteral("\r\n\r\n") + QString::number(e.number()),
                              Interaction::Icon::None);
    }
}

frmDEP *ResultsPanel::recordList() const
{
    return m_frmDEP;
}

void ResultsPanel::FRAM3_CargarEstadisticas()
{
    const ResultCounts c = ResultCounts::read(shared());
    const auto show = [](QLabel *label, long long n) { label->setText(vb::format(double(n), QStringLiteral("0000"))); };
    show(FRAM3_lbTotal, c.total);
    show(FRAM3_lbEnCatalogo, c.enCatalogo);
    show(FRAM3_lbNuevos, c.nuevos);
    show(FRAM3_lbErroneos, c.erroneos);
    show(FRAM3_lbErrPos, c.errPos);
    show(FRAM3_lbErrSuf, c.errSuf);
}
