#include "ui/import/SheetPanel.h"
#include "ui/app/Twips.h"

#include "import/FieldLabels.h"
#include "import/MappingCheck.h"
#include "import/SavedMapping.h"
#include "import/SheetLoader.h"
#include "ui/app/QtInteraction.h"
#include "shared/Settings.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "ui/import/frmCampos.h"

#include <QEvent>
#include <QFileInfo>
#include <QStandardPaths>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <optional>

static const QString kHint = QStringLiteral("[F1] Seleccionar Campos");
static const QString kHintWithRemembered =
    QStringLiteral("[F1] Seleccionar Campos   [F2] Aplicar el mapeo recordado para estos encabezados");

// A column keeps at least its layout width and widens to the longest text it shows.
static void widenToContents(QTableView *grid, int column)
{
    const int layout = grid->columnWidth(column);
    grid->resizeColumnToContents(column);
    if (grid->columnWidth(column) < layout)
        grid->setColumnWidth(column, layout);
}

SheetPanel::SheetPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("FRAM2"));
    setFrameShape(QFrame::NoFrame);

    Label4 = new QLabel(QStringLiteral("Seleccione el archivo a procesar"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(twips::rect(120, 90, 6000, 270));

    FRAM2_TxtArchivo = new QLineEdit(this);
    FRAM2_TxtArchivo->setObjectName(QStringLiteral("FRAM2_TxtArchivo"));
    FRAM2_TxtArchivo->setGeometry(twips::rect(120, 390, 7800, 360));
    Label4->setBuddy(FRAM2_TxtArchivo);

    FRAM2_CmdProcesar = new QPushButton(QStringLiteral("Examinar"), this);
    FRAM2_CmdProcesar->setObjectName(QStringLiteral("FRAM2_CmdProcesar"));
    FRAM2_CmdProcesar->setGeometry(twips::rect(8040, 375, 1380, 390));
    connect(FRAM2_CmdProcesar, &QPushButton::clicked, this, &SheetPanel::FRAM2_CmdProcesar_Click);

    FRAM2_Grid = new QTableView(this);
    FRAM2_Grid->setObjectName(QStringLiteral("FRAM2_Grid"));
    FRAM2_Grid->setAccessibleName(QStringLiteral("Planilla"));
    FRAM2_Grid->setGeometry(twips::rect(120, 870, 9300, 3480));
    FRAM2_Grid->setModel(&m_model);
    FRAM2_Grid->horizontalHeader()->hide();
    FRAM2_Grid->verticalHeader()->hide();
    // One line per cell, as a spreadsheet grid shows it.
    FRAM2_Grid->setWordWrap(false);
    FRAM2_Grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FRAM2_Grid->verticalHeader()->setDefaultSectionSize(FRAM2_Grid->fontMetrics().height() + 6);
    FRAM2_Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FRAM2_Grid->installEventFilter(this);
    // The fixed rows take no current cell: moving onto them lands on the first data row.
    connect(FRAM2_Grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                const int fixed = m_model.fixedRows();
                if (current.isValid() && current.row() < fixed && m_model.rows() > fixed)
                    FRAM2_Grid->setCurrentIndex(m_model.index(fixed, current.column()));
            });

    // A field label set on a column may need more room than the column has.
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                for (int c = topLeft.column(); c <= bottomRight.column(); ++c)
                    widenToContents(FRAM2_Grid, c);
            });

    Label13 = new QLabel(kHint, this);
    Label13->setObjectName(QStringLiteral("Label13"));
    Label13->setGeometry(twips::rect(120, 4410, 9300, 270));
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
        if (key->key() == Qt::Key_F2) {
            aplicarMapeoRecordado();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

bool SheetPanel::Seleccionar_Archivo_XLS()
{
    try {
        QString folder = settings::lastFolder();
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString file =
            interaction().openFile(QStringLiteral("Archivo Excel (*.xls;*.xlsx)|*.xls;*.xlsx|Todos los libros "
                                                  "(*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt)|"
                                                  "*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt"),
                                   folder);
        if (file.isEmpty())
            return false;
        settings::setLastFolder(QFileInfo(file).absolutePath());
        FRAM2_TxtArchivo->setText(file);
        return true;
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.Seleccionar_Archivo_XLS]")),
            Interaction::Icon::None);
    }
    return false;
}

bool SheetPanel::lf_LevantarExcel(const QString &p_Archivo)
{
    SharedState &s = shared();
    int step = 10;
    bool result = false;
    // The hourglass goes before any message box, so that the box shows the ordinary pointer.
    std::optional<BusyCursor> busy;
    try {
        step = 20;
        busy.emplace();
        step = 30;
        result = false;
        step = 40;
        if (p_Archivo.trimmed().isEmpty())
            return result;
        step = 50;
        if (!s.entorno)
            throw PlanexoError(91, QStringLiteral("Variable de objeto o bloque With no establecida"),
                               QStringLiteral("Planexo"));
        if (!s.entorno->ExisteArchivo(p_Archivo)) {
            step = 60;
            busy.reset();
            interaction().message(QStringLiteral("No se encuentra el archivo seleccionado ") +
                                      QStringLiteral("\r\n") + p_Archivo,
                                  Interaction::Icon::Exclamation);
            return result;
        }

        sheetloader::loadFile(p_Archivo, m_model, step);
        if (m_model.rows() > 2)
            FRAM2_Grid->setCurrentIndex(m_model.index(2, 0));
        step = 720;
        buscarMapeoRecordado();
        emit workbookLoaded();
        step = 740;
        result = true;

        step = 750;
        const int widths = int(std::size(sheetloader::ColumnWidthsTwips));
        for (int c = 0; c < widths && c < m_model.cols(); ++c)
            FRAM2_Grid->setColumnWidth(c, twips::px(sheetloader::ColumnWidthsTwips[c]));
        for (int c = 0; c < m_model.cols(); ++c)
            widenToContents(FRAM2_Grid, c);
        step = 880;
    } catch (const PlanexoError &e) {
        busy.reset();
        interaction().message(sheetloader::failureMessage(e, step), Interaction::Icon::Critical);
    }
    return result;
}

void SheetPanel::FRAM2_EstablecerCampo()
{
    SharedState &s = shared();
    try {
        s.sRetorno.clear();
        {
            frmCampos dialog(this);
            uiInteraction().runModal(dialog);
        }
        if (s.sRetorno.isEmpty())
            return;
        QString label = s.sRetorno;
        if (label.compare(fieldlabels::Ninguno, Qt::CaseInsensitive) == 0)
            label.clear();
        if (m_model.rows() <= mapping::MappingRow)
            throw sheetloader::noDataRows();
        const QModelIndex current = FRAM2_Grid->currentIndex();
        const int column = current.isValid() ? current.column() : 0;
        m_model.setText(mapping::MappingRow, column, label);
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_EstablecerCampo]")),
            Interaction::Icon::Critical);
    }
}

bool SheetPanel::FRAM2_VerificarDatos()
{
    // No handler here: a failure reaches the wizard's.
    const QString problem = mapping::firstProblem(m_model);
    if (!problem.isEmpty()) {
        interaction().message(problem, Interaction::Icon::Exclamation);
        return false;
    }
    return true;
}

void SheetPanel::buscarMapeoRecordado()
{
    m_remembered.reset();
    try {
        if (SharedState &s = shared(); s.gestor)
            m_remembered = savedmapping::recall(*s.gestor, m_model);
    } catch (const PlanexoError &) {
        // Without the remembered mapping the operator maps with F1 as always.
    }
    Label13->setText(m_remembered ? kHintWithRemembered : kHint);
}

void SheetPanel::aplicarMapeoRecordado()
{
    if (m_remembered && m_model.rows() > mapping::MappingRow)
        savedmapping::apply(m_model, *m_remembered);
}

