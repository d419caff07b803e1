#include "ui/import/SheetPanel.h"
#include "ui/app/Twips.h"
#include "ui/import/SheetGridView.h"

#include "data/PlanexoError.h"
#include "import/FieldLabels.h"
#include "import/LayoutProposal.h"
#include "import/MappingCheck.h"
#include "import/ProposedMapping.h"
#include "import/SavedMapping.h"
#include "import/SheetLoader.h"
#include "shared/Progress.h"
#include "shared/Settings.h"
#include "shared/SharedState.h"
#include "ui/app/QtInteraction.h"
#include "ui/import/frmCampos.h"
#include "ui/import/frmFilaTitulos.h"
#include "ui/import/frmHoja.h"
#include "workbook/pdf/PdfReader.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <algorithm>
#include <optional>

static const QString kHint = QStringLiteral("[F1] Seleccionar Campos");
static const QString kHintRemembered =
    QStringLiteral("[F2] Aplicar el mapeo recordado para estos encabezados");
static const QString kHintSeparator = QStringLiteral("   ");

// A column keeps at least its layout width and widens to the longest text it shows.
static void widenToContents(QTableView *grid, int column)
{
    const int layout = grid->columnWidth(column);
    grid->resizeColumnToContents(column);
    if (grid->columnWidth(column) < layout) grid->setColumnWidth(column, layout);
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
        if (!m_straySelected) return;
        m_straySelected = false;
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
    if (Seleccionar_Archivo_XLS()) lf_LevantarExcel(QDir::fromNativeSeparators(FRAM2_TxtArchivo->text()));
}

bool SheetPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FRAM2_Grid && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        void (SheetPanel::*action)() = nullptr;
        switch (key->key()) {
        case Qt::Key_F1:
            action = &SheetPanel::FRAM2_EstablecerCampo;
            break;
        case Qt::Key_F2:
            action = &SheetPanel::FRAM2_AplicarMapeo;
            break;
        case Qt::Key_F3:
            action = &SheetPanel::FRAM2_FilaTitulos;
            break;
        case Qt::Key_F4:
            action = &SheetPanel::FRAM2_HojaLibro;
            break;
        case Qt::Key_F5:
            action = &SheetPanel::FRAM2_SeguirTrasVacias;
            break;
        case Qt::Key_F7:
            action = &SheetPanel::FRAM2_MarcarPropuestas;
            break;
        case Qt::Key_Delete:
            if (key->modifiers() == Qt::NoModifier) action = &SheetPanel::FRAM2_QuitarFilas;
            break;
        default:
            if (key->matches(QKeySequence::Undo)) action = &SheetPanel::FRAM2_DeshacerQuitar;
        }
        if (action) {
            (this->*action)();
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
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
        // Every kind the reader takes comes first, so that the dialog opens showing them all.
        const QString file = interaction().openFile(
            QStringLiteral("Todos los libros (*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt;*.pdf)|"
                           "*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt;*.pdf|"
                           "Archivo Excel (*.xls;*.xlsx)|*.xls;*.xlsx"),
            folder);
        if (file.isEmpty()) return false;
        settings::setLastFolder(QFileInfo(file).absolutePath());
        // Shown as the system writes paths (backslashes on Windows); read back with Qt's.
        FRAM2_TxtArchivo->setText(QDir::toNativeSeparators(file));
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
        if (p_Archivo.trimmed().isEmpty()) return result;
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
        m_left = RowsLeft();
        m_mappingApplied = false;
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
            sheetloader::loadFile(p_Archivo, plan, m_model, m_rows, step, &*firstRows, &m_left);
        }
        m_previews.insert(plan.sheet, *firstRows);
        m_archivo = p_Archivo;
        m_plan = plan;
        m_plan.removedRows.clear();
        m_cargado = true;
        if (m_model.rows() > 2) FRAM2_Grid->setCurrentIndex(m_model.index(2, 0));
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
        // Proposed rows come selected, so that Supr takes them; the current cell stays, and the
        // totals are scrolled into view.
        buscarFilasSobrantes();
        if (!m_stray.isEmpty()) {
            seleccionarFilas(m_stray.all());
            const int shown = m_stray.totals.isEmpty() ? m_stray.all().first() : m_stray.totals.last();
            FRAM2_Grid->scrollTo(m_model.index(shown, 0));
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
            m_stray = {};
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
            m_stray = {};
            m_left = RowsLeft();
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
        if (s.sRetorno.isEmpty()) return;
        QString label = s.sRetorno;
        if (label.compare(fieldlabels::Ninguno, Qt::CaseInsensitive) == 0) label.clear();
        if (m_model.rows() <= mapping::MappingRow) throw sheetloader::noDataRows();
        const QModelIndex current = FRAM2_Grid->currentIndex();
        const int column = current.isValid() ? current.column() : 0;
        m_model.setText(mapping::MappingRow, column, label);
        buscarFilasSobrantes();
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
                m_rememberedLayout = savedmapping::findLayout(
                    layouts, int(m_sheets.size()), m_plan,
                    [this](int sheet) -> const SheetPreview & { return vistaPrevia(sheet); });
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
    if (m_remembered && m_model.rows() > mapping::MappingRow) savedmapping::apply(m_model, *m_remembered);
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
    m_proposedColumn =
        m_proposedRow > 0 ? layoutproposal::firstColumn(vistaPrevia(m_plan.sheet), m_proposedRow) : 1;
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
    if (!m_mappingApplied) {
        if (m_remembered || m_rememberedLayout)
            parts << kHintRemembered;
        else if (!m_proposed.isEmpty())
            parts << QStringLiteral("[F2] Aplicar mapeo propuesto (%1 de %2 columnas)")
                         .arg(m_proposed.size())
                         .arg(m_model.cols());
    } else if (m_model.rows() > mapping::MappingRow) {
        // What F2 left for F1: the columns with a heading and no field.
        QStringList unmapped;
        for (int c = 0; c < m_model.cols(); ++c)
            if (!m_model.text(0, c).trimmed().isEmpty() && m_model.text(mapping::MappingRow, c).isEmpty())
                unmapped << m_model.text(0, c).trimmed();
        if (!unmapped.isEmpty())
            parts << QStringLiteral("sin mapear: ") + unmapped.join(QStringLiteral(", "));
    }
    if (m_proposedSheet >= 0 && m_proposedSheet < m_sheets.size())
        parts << QStringLiteral("[F4] Hoja del libro: la hoja ") + m_sheets[m_proposedSheet].name +
                     QStringLiteral(" parece la de los artículos");
    if (m_proposedRow > 0 && (m_proposedRow != m_plan.headingRow || m_proposedColumn != m_plan.firstColumn)) {
        if (m_proposedColumn > 1)
            parts << QStringLiteral(
                         "[F3] Fila de títulos: la fila %1, desde la columna %2, parece la de títulos")
                         .arg(m_proposedRow)
                         .arg(sheetpreview::columnLetters(m_proposedColumn));
        else
            parts
                << QStringLiteral("[F3] Fila de títulos: la fila %1 parece la de títulos").arg(m_proposedRow);
    }
    if (const QString left = filasSinCargar(); !left.isEmpty())
        parts << left + QStringLiteral(": [F5] cargarlas");
    // Proposed while Supr would take them: they come selected after a load, F7 selects them again.
    if (!m_stray.isEmpty()) {
        if (m_stray.all() == filasSeleccionadas())
            parts << QStringLiteral("[Supr] ") + m_stray.removalText();
        else
            parts << QStringLiteral("[F7] Seleccionar las filas para ") + m_stray.removalText();
    }
    if (const int removed = m_rows.lastRemoval(); removed > 0)
        parts << (removed == 1
                      ? QStringLiteral("Se quitó 1 fila: [Ctrl+Z] la vuelve a poner")
                      : QStringLiteral("Se quitaron %1 filas: [Ctrl+Z] las vuelve a poner").arg(removed));
    Label13->setText(parts.join(kHintSeparator));
}

QString SheetPanel::filasSinCargar() const
{
    // Also after a load that found no item above the blank row: F5 takes those below.
    return !m_archivo.isEmpty() && !m_plan.pastBlankRows ? rowsLeftText(m_left) : QString();
}

void SheetPanel::buscarFilasSobrantes()
{
    m_stray = m_model.rows() > mapping::MappingRow
                  ? layoutproposal::strayRows(m_model, mapping::columnOf(m_model, fieldlabels::CodArticulo))
                  : layoutproposal::StrayRows();
}

void SheetPanel::seleccionarFilas(const QVector<int> &rows)
{
    // Contiguous rows as one range: thousands of rows stay a few ranges.
    QItemSelection selection;
    for (int i = 0; i < rows.size();) {
        int j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        selection.select(m_model.index(rows[i], 0), m_model.index(rows[j], m_model.cols() - 1));
        i = j + 1;
    }
    m_straySelected = false;
    FRAM2_Grid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_straySelected = true;
}

void SheetPanel::FRAM2_SeguirTrasVacias()
{
    if (filasSinCargar().isEmpty()) return;
    LoadPlan next = plan();
    next.pastBlankRows = true;
    cargar(m_archivo, next);
}

void SheetPanel::FRAM2_MarcarPropuestas()
{
    if (m_stray.isEmpty()) return;
    seleccionarFilas(m_stray.all());
    FRAM2_Grid->scrollTo(m_model.index(m_stray.all().first(), 0));
    mostrarAyuda();
}

void SheetPanel::FRAM2_FilaTitulos()
{
    if (m_archivo.isEmpty()) return;
    SharedState &s = shared();
    s.sRetorno.clear();
    {
        const bool proposal = m_proposedRow > 0;
        frmFilaTitulos dialog(vistaPrevia(m_plan.sheet), proposal ? m_proposedRow : m_plan.headingRow,
                              proposal ? m_proposedColumn : m_plan.firstColumn, this);
        uiInteraction().runModal(dialog);
    }
    // "row,column"
    const QStringList answer = s.sRetorno.split(QLatin1Char(','));
    s.sRetorno.clear();
    const int row = answer.value(0).toInt();
    const int column = std::max(answer.value(1).toInt(), 1);
    if (row < 1) return;
    LoadPlan next;
    next.sheet = m_plan.sheet;
    next.headingRow = row;
    next.firstColumn = column;
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
            interaction().message(
                standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_HojaLibro]")),
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
    m_straySelected = false;
    FRAM2_Grid->setCurrentIndex(m_model.index(std::min(first, m_model.rows() - 1), column));
    buscarFilasSobrantes();
    mostrarAyuda();
}

void SheetPanel::FRAM2_DeshacerQuitar()
{
    if (!m_rows.undo(m_model)) return;
    buscarFilasSobrantes();
    mostrarAyuda();
}

void SheetPanel::FRAM2_AplicarMapeo()
{
    if (m_rememberedLayout && !m_remembered) {
        // The supplier's sheet and heading row first, then its mapping.
        const savedmapping::Layout layout = *m_rememberedLayout;
        LoadPlan next;
        next.sheet = layout.sheet;
        next.headingRow = layout.headingRow;
        next.firstColumn = layout.firstColumn;
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
    } else {
        return;
    }
    m_mappingApplied = true;
    buscarFilasSobrantes();
    mostrarAyuda();
}
