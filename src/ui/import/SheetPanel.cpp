#include "ui/import/SheetPanel.h"
#include "ui/app/Twips.h"
#include "ui/import/SheetGridView.h"

#include "import/FieldLabels.h"
#include "import/LayoutProposal.h"
#include "import/MappingCheck.h"
#include "import/ProposedMapping.h"
#include "import/SavedMapping.h"
#include "import/SheetLoader.h"
#include "ui/app/QtInteraction.h"
#include "shared/Progress.h"
#include "shared/Settings.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "ui/import/frmCampos.h"
#include "ui/import/frmFilaTitulos.h"
#include "ui/import/frmHoja.h"
#include "workbook/pdf/PdfReader.h"

#include <QDir>
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
#include <algorithm>
#include <optional>

static const QString kHint = QStringLiteral("[F1] Seleccionar Campos");
static const QString kHintRemembered = QStringLiteral("[F2] Aplicar el mapeo recordado para estos encabezados");
static const QString kHintSeparator = QStringLiteral("   ");

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

    FRAM2_Grid = new SheetGridView(this);
    FRAM2_Grid->setObjectName(QStringLiteral("FRAM2_Grid"));
    FRAM2_Grid->setAccessibleName(QStringLiteral("Planilla"));
    FRAM2_Grid->setGeometry(twips::rect(120, 870, 9300, 3210));
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

    connect(FRAM2_Grid->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_totalsSelected) return;
        m_totalsSelected = false;
        mostrarAyuda();
    });

    // A field label set on a column may need more room than the column has.
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                for (int c = topLeft.column(); c <= bottomRight.column(); ++c)
                    widenToContents(FRAM2_Grid, c);
            });

    // Two lines: the proposals for a supplier's layout follow the F1 hint.
    Label13 = new QLabel(kHint, this);
    Label13->setObjectName(QStringLiteral("Label13"));
    Label13->setGeometry(twips::rect(120, 4140, 9300, 540));
    Label13->setWordWrap(true);
    Label13->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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
            FRAM2_AplicarMapeo();
            return true;
        }
        if (key->key() == Qt::Key_F3) {
            FRAM2_FilaTitulos();
            return true;
        }
        if (key->key() == Qt::Key_F4) {
            FRAM2_HojaLibro();
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            FRAM2_QuitarFilas();
            return true;
        }
        if (key->matches(QKeySequence::Undo)) {
            FRAM2_DeshacerQuitar();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

bool SheetPanel::Seleccionar_Archivo_XLS()
{
    try {
        // The last folder used, else the documents folder, else home: always a folder that exists,
        // since the dialog takes a path that does not for a file name to propose.
        QString folder = settings::lastFolder();
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        // Every kind the reader takes comes first, so that the dialog opens showing them all.
        const QString file = interaction().openFile(
            QStringLiteral("Todos los libros (*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt;*.pdf)|"
                           "*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt;*.pdf|"
                           "Archivo Excel (*.xls;*.xlsx)|*.xls;*.xlsx"),
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
    // A workbook chosen again may have changed since: nothing read of it before is kept.
    m_archivo.clear();
    return cargar(p_Archivo, LoadPlan());
}

LoadPlan SheetPanel::plan() const
{
    LoadPlan plan = m_plan;
    plan.removedRows = m_rows.removedSheetRows();
    return plan;
}

bool SheetPanel::cargar(const QString &p_Archivo, const LoadPlan &plan)
{
    SharedState &s = shared();
    int step = 10;
    bool result = false;
    // The hourglass goes before any message box, so that the box shows the ordinary pointer.
    std::optional<BusyCursor> busy;
    std::optional<SheetPreview> firstRows;
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

        // The loaded sheet's first rows come with the load; with another workbook what was read
        // of the last one does not apply.
        if (p_Archivo != m_archivo) {
            m_previews.clear();
            m_sheets.clear();
            m_archivo.clear();
        }
        firstRows.emplace();
        {
            // A long PDF tells its pages as the reader reads them, on the window's message line.
            Progress *progress = dynamic_cast<Progress *>(window());
            const QString caption = progress ? progress->caption() : QString();
            const bool bar = progress && progress->barVisible();
            if (progress)
                pdf::setProgressListener([progress](int page, int pages) {
                    progress->setCaption(
                        QStringLiteral("Leyendo el PDF: página %1 de %2").arg(page).arg(pages));
                    progress->setMaximum(pages);
                    progress->setValue(page);
                    progress->setBarVisible(true);
                });
            struct Restore {
                Progress *progress;
                QString caption;
                bool bar;
                ~Restore()
                {
                    pdf::setProgressListener(nullptr);
                    if (progress && progress->caption() != caption) {
                        progress->setCaption(caption);
                        progress->setBarVisible(bar);
                    }
                }
            } restore{progress, caption, bar};
            sheetloader::loadFile(p_Archivo, plan, m_model, m_rows, step, &*firstRows);
        }
        m_previews.insert(plan.sheet, *firstRows);
        m_archivo = p_Archivo;
        m_plan = plan;
        m_plan.removedRows.clear();
        m_cargado = true;
        if (m_model.rows() > 2)
            FRAM2_Grid->setCurrentIndex(m_model.index(2, 0));
        step = 720;
        proponer();
        buscarMapeoRecordado();
        emit workbookLoaded();
        step = 740;
        result = true;
        // The grid's keys (F1 to F4, Supr) work at once, without tabbing from "Examinar".
        FRAM2_Grid->setFocus();

        step = 750;
        const int widths = int(std::size(sheetloader::ColumnWidthsTwips));
        for (int c = 0; c < widths && c < m_model.cols(); ++c)
            FRAM2_Grid->setColumnWidth(c, twips::px(sheetloader::ColumnWidthsTwips[c]));
        for (int c = 0; c < m_model.cols(); ++c)
            widenToContents(FRAM2_Grid, c);
        // Proposed totals rows come selected, so that Supr takes them; the current cell stays.
        const QVector<int> totals =
            layoutproposal::totalsRows(m_model, mapping::columnOf(m_model, fieldlabels::CodArticulo));
        if (!totals.isEmpty()) {
            FRAM2_Grid->selectionModel()->select(
                QItemSelection(m_model.index(totals.first(), 0), m_model.index(totals.last(), m_model.cols() - 1)),
                QItemSelectionModel::ClearAndSelect);
            m_totalsSelected = true;
            mostrarAyuda();
        }
        step = 880;
    } catch (const PlanexoError &e) {
        busy.reset();
        interaction().message(sheetloader::failureMessage(e, step), Interaction::Icon::Critical);
        m_cargado = false;
        // A cover sheet (a title over an empty row) has no data rows: the workbook is read all the
        // same, so that F4 and F3 reach its other sheets and rows and the hint line says where.
        if (e.number() == sheetloader::NoDataRowsError) {
            if (firstRows) m_previews.insert(plan.sheet, *firstRows);
            m_archivo = p_Archivo;
            m_plan = plan;
            m_plan.removedRows.clear();
            m_rows.reset(m_plan.headingRow, 0);
            proponer();
            buscarMapeoRecordado();
        } else {
            // The grid no longer shows a sheet of a workbook: F3 and F4 wait for the next one.
            m_archivo.clear();
            m_previews.clear();
            m_sheets.clear();
            m_proposedRow = 0;
            m_proposedSheet = -1;
            m_remembered.reset();
            m_rememberedLayout.reset();
            m_proposed.clear();
            mostrarAyuda();
        }
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
        mostrarAyuda();
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
    m_rememberedLayout.reset();
    m_proposed.clear();
    try {
        if (SharedState &s = shared(); s.gestor) {
            m_remembered = savedmapping::recall(*s.gestor, m_model);
            if (!m_remembered) {
                const QVector<savedmapping::Layout> layouts = savedmapping::layouts(*s.gestor);
                // A layout remembered with its headings on another sheet or row: this workbook
                // is that supplier's when its sheet shows the same headings in that row.
                m_rememberedLayout = savedmapping::findLayout(layouts, int(m_sheets.size()), m_plan,
                                                              [this](int sheet) -> const SheetPreview & {
                                                                  return vistaPrevia(sheet);
                                                              });
                if (!m_rememberedLayout)
                    m_proposed = proposedmapping::propose(m_model, proposedmapping::learned(layouts));
            }
        }
    } catch (const PlanexoError &) {
        // Without the remembered mapping the operator maps with F1 as always.
    }
    mostrarAyuda();
}

void SheetPanel::aplicarMapeoRecordado()
{
    if (m_remembered && m_model.rows() > mapping::MappingRow)
        savedmapping::apply(m_model, *m_remembered);
}

const SheetPreview &SheetPanel::vistaPrevia(int sheet)
{
    auto it = m_previews.find(sheet);
    if (it == m_previews.end()) {
        SheetPreview preview;
        try {
            preview = sheetpreview::read(m_archivo, sheet);
        } catch (const PlanexoError &) {
            // A sheet that cannot be read proposes nothing; loading it says why.
        }
        it = m_previews.insert(sheet, preview);
    }
    return *it;
}

void SheetPanel::proponer()
{
    m_proposedRow = 0;
    m_proposedSheet = -1;
    if (m_sheets.isEmpty()) {
        try {
            m_sheets = sheetpreview::sheets(m_archivo);
        } catch (const PlanexoError &) {
            // Only the loaded sheet is looked at.
        }
    }
    m_proposedRow = layoutproposal::headingRow(vistaPrevia(m_plan.sheet));
    // Items behind a cover sheet, or after a hidden one: the first later visible sheet that has a
    // heading row is proposed.
    const bool firstHidden = !m_sheets.isEmpty() && m_sheets.first().hidden;
    if (m_plan.sheet == 0 && (m_proposedRow == 0 || firstHidden)) {
        for (int i = 1; i < m_sheets.size(); ++i) {
            if (!m_sheets[i].hidden && layoutproposal::headingRow(vistaPrevia(i)) > 0) {
                m_proposedSheet = i;
                break;
            }
        }
    }
}

void SheetPanel::mostrarAyuda()
{
    QStringList parts{kHint};
    if (m_remembered || m_rememberedLayout)
        parts << kHintRemembered;
    else if (!m_proposed.isEmpty())
        parts << QStringLiteral("[F2] Aplicar mapeo propuesto (%1 de %2 columnas)").arg(m_proposed.size()).arg(m_model.cols());
    if (m_proposedSheet >= 0 && m_proposedSheet < m_sheets.size())
        parts << QStringLiteral("[F4] Hoja del libro: la hoja ") + m_sheets[m_proposedSheet].name +
                     QStringLiteral(" parece la de los artículos");
    if (m_proposedRow > 0 && m_proposedRow != m_plan.headingRow)
        parts << QStringLiteral("[F3] Fila de títulos: la fila %1 parece la de títulos").arg(m_proposedRow);
    // Proposed while Supr would take them: they come selected after a load, and moving away
    // selects something else.
    if (m_model.rows() > mapping::MappingRow) {
        const QVector<int> rows =
            layoutproposal::totalsRows(m_model, mapping::columnOf(m_model, fieldlabels::CodArticulo));
        const qsizetype totals = !rows.isEmpty() && rows == filasSeleccionadas() ? rows.size() : 0;
        if (totals == 1)
            parts << QStringLiteral("[Supr] quitar 1 fila de totales");
        else if (totals > 1)
            parts << QStringLiteral("[Supr] quitar %1 filas de totales").arg(totals);
    }
    Label13->setText(parts.join(kHintSeparator));
}

void SheetPanel::FRAM2_FilaTitulos()
{
    if (m_archivo.isEmpty()) return;
    SharedState &s = shared();
    s.sRetorno.clear();
    {
        frmFilaTitulos dialog(vistaPrevia(m_plan.sheet), m_proposedRow > 0 ? m_proposedRow : m_plan.headingRow,
                              this);
        uiInteraction().runModal(dialog);
    }
    const int row = s.sRetorno.toInt();
    s.sRetorno.clear();
    if (row < 1) return;
    LoadPlan next = m_plan;
    next.headingRow = row;
    const LoadPlan before = plan();
    const bool wasLoaded = m_cargado;
    // A row that cannot be the headings (nothing under it) leaves the grid as it was.
    const QString file = m_archivo;
    if (!cargar(file, next) && wasLoaded) cargar(file, before);
}

void SheetPanel::FRAM2_HojaLibro()
{
    if (m_archivo.isEmpty()) return;
    SharedState &s = shared();
    if (m_sheets.isEmpty()) {
        try {
            m_sheets = sheetpreview::sheets(m_archivo);
        } catch (const PlanexoError &e) {
            interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_HojaLibro]")),
                                  Interaction::Icon::Critical);
            return;
        }
    }
    s.sRetorno.clear();
    {
        frmHoja dialog(m_sheets, m_proposedSheet >= 0 ? m_proposedSheet : m_plan.sheet, this);
        uiInteraction().runModal(dialog);
    }
    bool ok = false;
    const int sheet = s.sRetorno.toInt(&ok);
    s.sRetorno.clear();
    if (!ok || sheet < 0 || sheet >= m_sheets.size()) return;
    LoadPlan next;
    next.sheet = sheet;
    const LoadPlan before = plan();
    const bool wasLoaded = m_cargado;
    const QString file = m_archivo;
    if (!cargar(file, next) && wasLoaded) cargar(file, before);
}

QVector<int> SheetPanel::filasSeleccionadas() const
{
    // By ranges: a selection of the whole sheet is a few ranges, not millions of cells.
    QVector<int> rows;
    for (const QItemSelectionRange &range : FRAM2_Grid->selectionModel()->selection())
        for (int r = std::max(range.top(), 2); r <= range.bottom(); ++r)
            rows << r;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void SheetPanel::FRAM2_QuitarFilas()
{
    const QVector<int> rows = filasSeleccionadas();
    // The items stay: taking out every data row would leave nothing to process.
    if (rows.isEmpty() || rows.size() >= m_model.rows() - 2) return;
    const int first = *std::min_element(rows.cbegin(), rows.cend());
    const int column = std::max(FRAM2_Grid->currentIndex().column(), 0);
    m_rows.remove(m_model, rows);
    FRAM2_Grid->setCurrentIndex(m_model.index(std::min(first, m_model.rows() - 1), column));
    mostrarAyuda();
}

void SheetPanel::FRAM2_DeshacerQuitar()
{
    if (m_rows.undo(m_model)) mostrarAyuda();
}

void SheetPanel::FRAM2_AplicarMapeo()
{
    if (m_rememberedLayout && !m_remembered) {
        // The supplier's sheet and heading row first, then its mapping.
        const savedmapping::Layout layout = *m_rememberedLayout;
        LoadPlan next;
        next.sheet = layout.sheet;
        next.headingRow = layout.headingRow;
        if (!cargar(m_archivo, next)) return;
        if (m_remembered)
            aplicarMapeoRecordado();
        else
            savedmapping::apply(m_model, layout.mapping);
    } else if (m_model.rows() <= mapping::MappingRow) {
        return;
    } else if (m_remembered) {
        aplicarMapeoRecordado();
    } else if (!m_proposed.isEmpty()) {
        savedmapping::apply(m_model, m_proposed);
    }
    mostrarAyuda();
}
