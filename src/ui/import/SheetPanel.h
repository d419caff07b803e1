#pragma once

#include "ui/import/SheetGridStyle.h"

#include "import/LayoutProposal.h"
#include "import/LoadPlan.h"
#include "import/SavedMapping.h"
#include "import/SheetPreview.h"

#include <QFrame>
#include <QHash>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// Step 2 of the wizard (FRAM2): choosing the workbook, the preview grid and the column mapping.
// Beside the Part's F1 and F2, the grid takes F3 (heading row and first column), F4 (worksheet),
// F5 (the items past a blank row too), F7 (the rows proposed for removal selected), Supr (rows out
// of the grid) and Ctrl+Z (the last rows taken out back), and the hint line proposes what fits.
class SheetPanel : public QFrame {
    Q_OBJECT
public:
    explicit SheetPanel(QWidget *parent = nullptr);

    SheetGridModel &model() { return m_model; }
    const SheetGridModel &model() const { return m_model; }
    QTableView *grid() const { return FRAM2_Grid; }
    // What the grid was loaded by: worksheet, heading row and the rows taken out.
    LoadPlan plan() const;
    // The spreadsheet row each data row of the grid shows.
    const SheetRows &sheetRows() const { return m_rows; }

    bool Seleccionar_Archivo_XLS();
    bool lf_LevantarExcel(const QString &p_Archivo);
    void FRAM2_EstablecerCampo();
    // Checks the mapping row; false after showing the first failing check's message.
    bool FRAM2_VerificarDatos();
    // F3, F4, Supr, Ctrl+Z and F2 of the grid.
    void FRAM2_FilaTitulos();
    void FRAM2_HojaLibro();
    void FRAM2_QuitarFilas();
    void FRAM2_DeshacerQuitar();
    void FRAM2_AplicarMapeo();
    void FRAM2_SeguirTrasVacias();
    void FRAM2_MarcarPropuestas();
    // "Debajo de la fila vacía 23 hay 19 filas con datos que no se cargaron" while the grid holds
    // the items only up to that blank row; empty otherwise.
    QString filasSinCargar() const;

  signals:
    // A workbook was loaded into the grid: the wizard enables its next-step button and empties
    // its already-processed mark.
    void workbookLoaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

    // The mapping remembered for the loaded sheet's headings, which F2 applies.
    const std::optional<savedmapping::Mapping> &rememberedMapping() const { return m_remembered; }

private:
    void FRAM2_CmdProcesar_Click();
    // lf_LevantarExcel by a plan; the grid's layout and the proposals follow a successful load.
    bool cargar(const QString &path, const LoadPlan &plan);
    void buscarMapeoRecordado();
    void aplicarMapeoRecordado();
    // Looks at the loaded sheet's first rows and the other sheets for the hint line's proposals.
    void proponer();
    void mostrarAyuda();
    const SheetPreview &vistaPrevia(int sheet);
    // The data rows with a selected cell, ascending.
    QVector<int> filasSeleccionadas() const;
    // The rows proposed for removal, looked for again after the grid's rows or mapping change.
    void buscarFilasSobrantes();
    void seleccionarFilas(const QVector<int> &rows);

    SheetGridStyle m_model;
    QLabel *Label4 = nullptr;
    QLineEdit *FRAM2_TxtArchivo = nullptr;
    QPushButton *FRAM2_CmdProcesar = nullptr;
    QTableView *FRAM2_Grid = nullptr;
    QLabel *Label13 = nullptr;
    std::optional<savedmapping::Mapping> m_remembered;

    QString m_archivo; // the workbook in the grid
    bool m_cargado = false; // the grid holds m_plan's sheet (its last load succeeded)
    LoadPlan m_plan;
    SheetRows m_rows;
    WorkbookSheetList m_sheets;
    QHash<int, SheetPreview> m_previews; // first rows per worksheet, read once per workbook
    int m_proposedRow = 0;               // of the loaded sheet; 0 when none fits
    int m_proposedColumn = 1;            // the proposed heading row's first heading
    int m_proposedSheet = -1;            // a later sheet that looks like the items'
    std::optional<savedmapping::Layout> m_rememberedLayout; // on another sheet or heading row
    savedmapping::Mapping m_proposed;
    bool m_straySelected = false; // the hint's proposed rows are the selection
    layoutproposal::StrayRows m_stray;
    RowsLeft m_left;               // what the blank row that ended the items left below it
    bool m_mappingApplied = false; // F2 applied since the load
};
