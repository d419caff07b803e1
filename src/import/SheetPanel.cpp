#include "SheetPanel.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

SheetPanel::SheetPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("FRAM2"));
    setFrameShape(QFrame::NoFrame);

    Label4 = new QLabel(QStringLiteral("Seleccione el archivo a procesar"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(8, 6, 400, 18);

    FRAM2_TxtArchivo = new QLineEdit(this);
    FRAM2_TxtArchivo->setObjectName(QStringLiteral("FRAM2_TxtArchivo"));
    FRAM2_TxtArchivo->setGeometry(8, 26, 520, 24);
    Label4->setBuddy(FRAM2_TxtArchivo);

    FRAM2_CmdProcesar = new QPushButton(QStringLiteral("Examinar"), this);
    FRAM2_CmdProcesar->setObjectName(QStringLiteral("FRAM2_CmdProcesar"));
    FRAM2_CmdProcesar->setGeometry(536, 25, 92, 26);
    connect(FRAM2_CmdProcesar, &QPushButton::clicked, this, &SheetPanel::FRAM2_CmdProcesar_Click);

    FRAM2_Grid = new QTableView(this);
    FRAM2_Grid->setObjectName(QStringLiteral("FRAM2_Grid"));
    FRAM2_Grid->setAccessibleName(QStringLiteral("Planilla"));
    FRAM2_Grid->setGeometry(8, 58, 620, 232);
    FRAM2_Grid->setModel(&m_model);
    FRAM2_Grid->horizontalHeader()->hide();
    FRAM2_Grid->verticalHeader()->hide();
    FRAM2_Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FRAM2_Grid->installEventFilter(this);

    Label13 = new QLabel(QStringLiteral("[F1] Seleccionar Campos"), this);
    Label13->setObjectName(QStringLiteral("Label13"));
    Label13->setGeometry(8, 294, 300, 18);
}

void SheetPanel::FRAM2_CmdProcesar_Click()
{
    if (Seleccionar_Archivo_XLS())
        lf_LevantarExcel(FRAM2_TxtArchivo->text());
}

bool SheetPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FRAM2_Grid && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_F1) {
            FRAM2_EstablecerCampo();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

bool SheetPanel::Seleccionar_Archivo_XLS()
{
    return false;
}

bool SheetPanel::lf_LevantarExcel(const QString &p_Archivo)
{
    Q_UNUSED(p_Archivo);
    return false;
}

void SheetPanel::FRAM2_EstablecerCampo()
{
}

bool SheetPanel::FRAM2_VerificarDatos()
{
    return false;
}
