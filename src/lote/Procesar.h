#pragma once

#include "import/LoadPlan.h"
#include "import/SheetGridModel.h"
#include "import/SheetPreview.h"
#include "lote/LoteInteraction.h"

#include <QHash>
#include <QString>
#include <optional>

class Lote;
struct SharedState;

// What `procesar` takes from its command line.
struct ProcesarOptions {
    QString number;  // --interno, its quotes made blanks
    QString file;    // --archivo
    QString mapping; // --mapeo: pairs, "recordado" or "propuesto"
    bool sheetGiven = false;
    QString sheet; // --hoja: a name or a number from 1
    bool headingGiven = false;
    bool headingAuto = false; // --fila-titulos auto
    bool removeProposed = false; // --quitar-filas propuestas
    bool create = false;
    QString description;               // --crear
    QHash<QString, QString> countries; // --pais, by case-folded origin text
    bool json = false;
    bool replaceCorrected = false; // --reemplazar: articles corrected by hand may be replaced
    LoadPlan plan; // the heading row, first column, removed rows and --seguir-tras-vacias as given
};

// The command `procesar`, step by step: options, load plan, load, mapping, checks, process, report.
// Each step returns the exit status when the command ends there, and nothing when it goes on.
class Procesar {
  public:
    explicit Procesar(Lote &lote) : m_lote(lote) {}
    int run();

    // Reads and checks the options; the refusal's text when one is wrong.
    static std::optional<QString> readOptions(const Lote &lote, ProcesarOptions &options);

  private:
    using Step = std::optional<int>;
    Step openShipment();
    Step choosePlan();
    Step load();
    Step applyMapping();
    Step applyGivenMapping();
    Step removeProposed();
    Step check();
    Step process();
    int report();

    const SheetPreview &preview(int sheet);
    bool mappingIs(const char *word) const;

    Lote &m_lote;
    ProcesarOptions m_options;
    LoteInteraction m_answers;
    SharedState *m_state = nullptr;
    LoadPlan m_plan;
    WorkbookSheetList m_sheets;
    QHash<int, SheetPreview> m_previews;
    SheetGridModel m_grid;
    SheetRows m_sheetRows;
    RowsLeft m_left;
    QString m_loadFailure; // the first load's refusal, while the remembered layout may still load
};
