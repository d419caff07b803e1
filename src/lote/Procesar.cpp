#include "lote/Procesar.h"

#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "import/FieldLabels.h"
#include "import/LayoutProposal.h"
#include "import/MappingCheck.h"
#include "import/ProposedMapping.h"
#include "import/SavedMapping.h"
#include "import/SheetLoader.h"
#include "lote/Lote.h"
#include "process/CountryResolver.h"
#include "process/ProcessDriver.h"
#include "process/ProcessRun.h"
#include "process/ResultCounts.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "shipments/Shipments.h"
#include "workbook/pdf/PdfReader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

// "A", "AB", "XFD" as a column from 0; -1 for anything else.
int columnFromLetters(const QString &text)
{
    if (text.isEmpty() || text.size() > 3) return -1;
    int column = 0;
    for (QChar c : text) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z') return -1;
        column = column * 26 + (u - u'A' + 1);
    }
    return column - 1;
}

} // namespace

int Lote::procesar()
{
    return Procesar(*this).run();
}

std::optional<QString> Procesar::readOptions(const Lote &lote, ProcesarOptions &o)
{
    o.number = lote.option(QStringLiteral("--interno"));
    o.file = lote.option(QStringLiteral("--archivo"));
    o.mapping = lote.option(QStringLiteral("--mapeo"));
    if (o.number.isEmpty()) return QStringLiteral("Falta --interno");
    if (const QString problem = lote::windowNumber(&o.number); !problem.isEmpty()) return problem;
    if (o.file.trimmed().isEmpty()) return QStringLiteral("Falta --archivo");
    if (o.mapping.trimmed().isEmpty()) return QStringLiteral("Falta --mapeo");
    bool removeGiven = false;
    o.sheet = lote.option(QStringLiteral("--hoja"), &o.sheetGiven);
    const QString rowText = lote.option(QStringLiteral("--fila-titulos"), &o.headingGiven);
    const QString removeText = lote.option(QStringLiteral("--quitar-filas"), &removeGiven);
    o.headingAuto =
        o.headingGiven && rowText.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
    if (o.headingGiven && !o.headingAuto) {
        // A row number, or the cell of the first heading ("B4").
        QString text = rowText.trimmed();
        qsizetype letters = 0;
        while (letters < text.size() && text[letters].isLetter())
            ++letters;
        o.plan.firstColumn = letters > 0 ? columnFromLetters(text.left(letters)) + 1 : 1;
        bool ok = false;
        o.plan.headingRow = text.mid(letters).toInt(&ok);
        if (!ok || o.plan.headingRow < 1 || o.plan.headingRow >= 1048576 || o.plan.firstColumn < 1)
            return QStringLiteral(
                       "--fila-titulos espera un número de fila, una celda como \"B4\" o \"auto\": ") +
                   rowText;
    }
    o.removeProposed =
        removeGiven && removeText.trimmed().compare(QLatin1String("propuestas"), Qt::CaseInsensitive) == 0;
    if (removeGiven && !o.removeProposed && !parseRowList(removeText, &o.plan.removedRows))
        return QStringLiteral("--quitar-filas espera filas de la hoja como \"12,40-41\" o \"propuestas\": ") +
               removeText;
    o.plan.pastBlankRows = lote.flag(QStringLiteral("--seguir-tras-vacias"));
    for (const QString &relation : lote.options(QStringLiteral("--pais"))) {
        const qsizetype at = relation.lastIndexOf(QLatin1Char('='));
        const QString origin = at > 0 ? relation.left(at) : QString();
        const QString code = at > 0 ? relation.mid(at + 1).trimmed() : QString();
        if (origin.isEmpty() || code.isEmpty())
            return QStringLiteral("--pais espera \"ORIGEN=CODIGO\": ") + relation;
        o.countries.insert(origin.toCaseFolded(), code);
    }
    o.description = lote.option(QStringLiteral("--crear"), &o.create);
    o.json = lote.flag(QStringLiteral("--json"));
    o.replaceCorrected = lote.flag(QStringLiteral("--reemplazar"));
    return std::nullopt;
}

int Procesar::run()
{
    if (const std::optional<QString> refusal = readOptions(m_lote, m_options)) return m_lote.refuse(*refusal);
    m_plan = m_options.plan;
    m_answers.countries = m_options.countries;
    m_answers.replace = m_options.replaceCorrected;
    InteractionScope scope(&m_answers);
    if (!m_lote.open()) return Lote::Failed;
    m_state = &shared();
    for (Step (Procesar::*step)() :
         {&Procesar::openShipment, &Procesar::choosePlan, &Procesar::load, &Procesar::applyMapping,
          &Procesar::removeProposed, &Procesar::check, &Procesar::process})
        if (const Step status = (this->*step)()) return *status;
    return report();
}

bool Procesar::mappingIs(const char *word) const
{
    return m_options.mapping.trimmed().compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

const SheetPreview &Procesar::preview(int sheet)
{
    auto it = m_previews.find(sheet);
    // Read to the end when the heading row is proposed: headings under merged cells count.
    if (it == m_previews.end())
        it = m_previews.insert(sheet, sheetpreview::read(m_options.file, sheet, SheetPreview::DefaultRows,
                                                         m_options.headingAuto));
    return *it;
}

// The shipment; a new one is created only once every input has been accepted.
Procesar::Step Procesar::openShipment()
{
    SharedState &s = *m_state;
    try {
        if (shipments::exists(*s.gestor, m_options.number))
            m_options.create = false;
        else if (!m_options.create)
            return m_lote.refuse(QStringLiteral("El interno ") + m_options.number +
                                 QStringLiteral(" no existe (use --crear \"descripción\" para crearlo)"));
    } catch (const PlanexoError &e) {
        return m_lote.fail(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM1_CargarInternos]")));
    }
    s.sInternoActual = m_options.number;
    s.iPaso = 2;
    return std::nullopt;
}

// The workbook as step 2 finds it, and the worksheet and heading row as F4 and F3 choose them.
Procesar::Step Procesar::choosePlan()
{
    const QString &file = m_options.file;
    if (!m_state->entorno->ExisteArchivo(file))
        return m_lote.refuse(QStringLiteral("No se encuentra el archivo seleccionado ") +
                             QStringLiteral("\r\n") + file);
    const QString &sheetText = m_options.sheet;
    try {
        if (m_options.sheetGiven || m_options.json || mappingIs("recordado"))
            m_sheets = sheetpreview::sheets(file);
        if (m_options.sheetGiven) {
            m_plan.sheet = -1;
            for (int i = 0; i < m_sheets.size() && m_plan.sheet < 0; ++i)
                if (m_sheets[i].name == sheetText) m_plan.sheet = i;
            for (int i = 0; i < m_sheets.size() && m_plan.sheet < 0; ++i)
                if (m_sheets[i].name.compare(sheetText.trimmed(), Qt::CaseInsensitive) == 0) m_plan.sheet = i;
            bool ok = false;
            const int n = sheetText.trimmed().toInt(&ok);
            // A PDF's sheets are the pages joined, then each page: a number names a page.
            QFile head(file);
            if (m_plan.sheet < 0 && head.open(QIODevice::ReadOnly) && pdf::isPdf(head.read(8))) {
                const bool all = sheetText.trimmed().compare(QLatin1String("todas"), Qt::CaseInsensitive) == 0;
                for (int i = 0; i < m_sheets.size() && m_plan.sheet < 0; ++i)
                    if ((all && i == 0) || (ok && m_sheets[i].name == QStringLiteral("Página %1").arg(n)))
                        m_plan.sheet = i;
                ok = false;
            }
            if (m_plan.sheet < 0 && ok && n >= 1 && n <= m_sheets.size()) m_plan.sheet = n - 1;
            if (m_plan.sheet < 0) {
                QStringList names;
                for (const WorkbookSheetInfo &sheet : m_sheets)
                    names << (sheet.hidden ? sheet.name + QStringLiteral(" (oculta)") : sheet.name);
                return m_lote.refuse(QStringLiteral("La hoja \"") + sheetText +
                                     QStringLiteral("\" no está en el libro; sus hojas: ") +
                                     names.join(QStringLiteral(", ")));
            }
        }
        if (m_options.headingAuto) {
            m_plan.headingRow = std::max(layoutproposal::headingRow(preview(m_plan.sheet)), 1);
            m_plan.firstColumn = layoutproposal::firstColumn(preview(m_plan.sheet), m_plan.headingRow);
        }
    } catch (const PlanexoError &e) {
        return m_lote.refuse(sheetloader::failureMessage(e, 100));
    }
    return std::nullopt;
}

// The sheet into the grid, as step 2 loads it.
Procesar::Step Procesar::load()
{
    int step = 10;
    try {
        m_left = RowsLeft();
        sheetloader::loadFile(m_options.file, m_plan, m_grid, m_sheetRows, step, nullptr, &m_left);
        return std::nullopt;
    } catch (const PlanexoError &e) {
        // A title over an empty row (a table further down or right): the remembered layout may
        // still say where the table is, as F2 does after the window's refused load.
        if (e.number() == sheetloader::NoDataRowsError && mappingIs("recordado") && !m_options.sheetGiven &&
            !m_options.headingGiven && m_loadFailure.isEmpty()) {
            m_loadFailure = sheetloader::failureMessage(e, step);
            return std::nullopt;
        }
        return m_lote.refuse(sheetloader::failureMessage(e, step));
    }
}

// The mapping row: remembered, proposed or given pair by pair.
Procesar::Step Procesar::applyMapping()
{
    SharedState &s = *m_state;
    if (mappingIs("recordado")) {
        try {
            std::optional<savedmapping::Mapping> remembered;
            if (m_loadFailure.isEmpty()) remembered = savedmapping::recall(*s.gestor, m_grid);
            // The supplier's layout on its own sheet and heading row, when the command named neither.
            if (!remembered && !m_options.sheetGiven && !m_options.headingGiven) {
                const std::optional<savedmapping::Layout> layout = savedmapping::findLayout(
                    savedmapping::layouts(*s.gestor), int(m_sheets.size()), m_plan,
                    [this](int sheet) -> const SheetPreview & { return preview(sheet); });
                if (layout) {
                    m_plan.sheet = layout->sheet;
                    m_plan.headingRow = layout->headingRow;
                    m_plan.firstColumn = layout->firstColumn;
                    if (const Step status = load()) return status;
                    remembered = layout->mapping;
                }
            }
            if (!remembered && !m_loadFailure.isEmpty()) return m_lote.refuse(m_loadFailure);
            if (!remembered)
                return m_lote.refuse(
                    QStringLiteral("No hay un mapeo recordado para los encabezados de esta factura"));
            savedmapping::apply(m_grid, *remembered);
        } catch (const PlanexoError &e) {
            return m_lote.fail(
                standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_EstablecerCampo]")));
        }
        return std::nullopt;
    }
    if (mappingIs("propuesto")) {
        try {
            const savedmapping::Mapping proposed =
                proposedmapping::propose(m_grid, proposedmapping::learned(savedmapping::layouts(*s.gestor)));
            if (proposed.isEmpty())
                return m_lote.refuse(
                    QStringLiteral("No hay un mapeo propuesto para los encabezados de esta factura"));
            savedmapping::apply(m_grid, proposed);
        } catch (const PlanexoError &e) {
            return m_lote.fail(
                standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_EstablecerCampo]")));
        }
        return std::nullopt;
    }
    return applyGivenMapping();
}

// "CAMPO=COLUMNA,...": each field by its label without brackets, each column by letter or heading.
Procesar::Step Procesar::applyGivenMapping()
{
    QStringList labels = fieldlabels::chooserEntries();
    labels.removeFirst(); // "< NINGUNO >" maps nothing
    QHash<int, QString> byColumn;
    for (const QString &pair : m_options.mapping.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype at = pair.indexOf(QLatin1Char('='));
        const QString name = pair.left(at).trimmed();
        const QString where = at > 0 ? pair.mid(at + 1).trimmed() : QString();
        QString label;
        for (const QString &l : labels) {
            if (l.mid(2, l.size() - 4).compare(name, Qt::CaseInsensitive) == 0) label = l;
        }
        if (at <= 0 || where.isEmpty() || label.isEmpty()) {
            QStringList names;
            for (const QString &l : labels)
                names << l.mid(2, l.size() - 4);
            return m_lote.refuse(QStringLiteral("Mapeo no válido: \"") + pair +
                                 QStringLiteral("\"; se espera CAMPO=COLUMNA con CAMPO uno de: ") +
                                 names.join(QStringLiteral(", ")));
        }
        int column = -1;
        for (int c = 0; c < m_grid.cols() && column < 0; ++c) {
            if (m_grid.text(0, c).trimmed().compare(where, Qt::CaseInsensitive) == 0) column = c;
        }
        if (column < 0) column = columnFromLetters(where);
        if (column < 0 || column >= m_grid.cols())
            return m_lote.refuse(QStringLiteral("La columna \"") + where +
                                 QStringLiteral("\" no es una letra de columna ni un encabezado de la hoja"));
        if (byColumn.contains(column))
            return m_lote.refuse(QStringLiteral("La columna \"") + where +
                                 QStringLiteral("\" recibe dos campos"));
        byColumn.insert(column, label);
    }
    for (auto it = byColumn.cbegin(); it != byColumn.cend(); ++it)
        m_grid.setText(mapping::MappingRow, it.key(), it.value());
    return std::nullopt;
}

// The rows the window proposes for removal (repeated headings, page lines, totals), by the mapped
// article code, when --quitar-filas says "propuestas".
Procesar::Step Procesar::removeProposed()
{
    if (!m_options.removeProposed) return std::nullopt;
    const layoutproposal::StrayRows stray =
        layoutproposal::strayRows(m_grid, mapping::columnOf(m_grid, fieldlabels::CodArticulo));
    m_sheetRows.remove(m_grid, stray.all());
    return std::nullopt;
}

// What must hold before anything is stored: the removed rows, step 2's verification, the origins.
Procesar::Step Procesar::check()
{
    // Rows named for removal that the load did not take are a mistake worth saying.
    for (int row : m_plan.removedRows) {
        if (!m_sheetRows.removedSheetRows().contains(row))
            return m_lote.refuse(QStringLiteral("La fila ") + QString::number(row) +
                                 QStringLiteral(" no es una fila de datos de la hoja (datos: filas ") +
                                 m_sheetRows.rangesText() + QStringLiteral(")"));
    }

    try {
        const QString problem = mapping::firstProblem(m_grid);
        if (!problem.isEmpty()) return m_lote.refuse(problem);
    } catch (const PlanexoError &e) {
        return m_lote.refuse(e.description());
    }

    // Every origin must resolve without asking.
    const int originColumn = ColumnMap::recognise(m_grid).column(Field::Origen);
    if (originColumn < 0) return std::nullopt;
    QStringList unknown;
    try {
        CountryResolver resolver(*m_state);
        for (int row = 2; row < m_grid.rows(); ++row) {
            const QString origin = m_grid.text(row, originColumn);
            if (unknown.contains(origin) || m_answers.countries.contains(origin.toCaseFolded())) continue;
            if (!resolver.resolvesSilently(origin)) unknown << origin;
        }
    } catch (const PlanexoError &e) {
        return m_lote.fail(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.ObtenerCodigoPais]")));
    }
    if (!unknown.isEmpty())
        return m_lote.refuse(
            QStringLiteral("Orígenes sin país (indíquelos con --pais \"ORIGEN=CODIGO\"):\n  ") +
            unknown.join(QStringLiteral("\n  ")));
    return std::nullopt;
}

// The shipment created when asked, the automatic process as the window runs it, and the mapping
// remembered.
Procesar::Step Procesar::process()
{
    SharedState &s = *m_state;
    if (m_options.create) {
        try {
            shipments::create(*s.gestor, m_options.number,
                              m_options.description.trimmed().isEmpty() ? m_options.number
                                                                        : m_options.description);
        } catch (const PlanexoError &e) {
            return m_lote.fail(
                standardMessage(e, QStringLiteral(" - seccion [Planexo.frmInterno.NuevoInterno]")));
        }
    }
    QuietProgress progress;
    ProcessDriver driver(s, progress);
    if (!driver.FRAM2_GuardarDatosToBase(m_grid)) {
        const QString failure = m_answers.last({Interaction::Icon::Critical});
        if (!failure.isEmpty()) return m_lote.fail(failure);
        return m_lote.refuse(m_answers.last(
            {Interaction::Icon::Exclamation, Interaction::Icon::None, Interaction::Icon::Question}));
    }
    try {
        savedmapping::remember(*s.gestor, m_grid, m_plan);
    } catch (const PlanexoError &e) {
        m_lote.m_err << "Aviso: el mapeo no se pudo recordar: " << e.description() << '\n';
    }
    return std::nullopt;
}

// The six counts of step 3, or with --json an object with them, the sheet and rows used and each
// row's grade.
int Procesar::report()
{
    SharedState &s = *m_state;
    QTextStream &out = m_lote.m_out;
    try {
        const ResultCounts c = ResultCounts::read(s);
        const auto four = [](long long n) { return vb::format(double(n), QStringLiteral("0000")); };
        const QString left = rowsLeftText(m_left);
        if (!m_options.json) {
            // Never silently: what a blank row left out is said before the counts.
            if (!left.isEmpty()) out << left << " (--seguir-tras-vacias las carga)\n";
            out << "Total de Registros\t" << four(c.total) << '\n'
                << "Registros con Errores\t" << four(c.erroneos) << '\n'
                << "Errores de Posición\t" << four(c.errPos) << '\n'
                << "Errores de Sufijos\t" << four(c.errSuf) << '\n'
                << "Articulos en Catalogo\t" << four(c.enCatalogo) << '\n'
                << "Articulos Nuevos\t" << four(c.nuevos) << '\n';
            out.flush();
            return Lote::Ok;
        }
        QJsonArray rows;
        for (const ResultCounts::Grade &grade : ResultCounts::grades(s, m_options.number)) {
            QJsonObject row;
            row.insert(QStringLiteral("ARTORD"), grade.order);
            // ARTORD n stores grid row n + 1.
            row.insert(QStringLiteral("fila"), m_sheetRows.sheetRow(int(grade.order) + 1));
            row.insert(QStringLiteral("ARTNRO"), grade.article);
            row.insert(QStringLiteral("PRCEST"), grade.state);
            row.insert(QStringLiteral("PRCCRC"), grade.check);
            rows.append(row);
        }
        QJsonObject counts{
            {QStringLiteral("total"), c.total},           {QStringLiteral("erroneos"), c.erroneos},
            {QStringLiteral("errPos"), c.errPos},         {QStringLiteral("errSuf"), c.errSuf},
            {QStringLiteral("enCatalogo"), c.enCatalogo}, {QStringLiteral("nuevos"), c.nuevos}};
        QJsonArray removed;
        for (int row : m_sheetRows.removedSheetRows())
            removed.append(row);
        QJsonObject sheet{{QStringLiteral("numero"), m_plan.sheet + 1}};
        if (m_plan.sheet < m_sheets.size())
            sheet.insert(QStringLiteral("nombre"), m_sheets[m_plan.sheet].name);
        QJsonObject all{{QStringLiteral("interno"), m_options.number},
                        {QStringLiteral("totales"), counts},
                        {QStringLiteral("hoja"), sheet},
                        {QStringLiteral("filaTitulos"), m_plan.headingRow},
                        {QStringLiteral("filasDatos"), m_sheetRows.rangesText()},
                        {QStringLiteral("filasQuitadas"), removed},
                        {QStringLiteral("filas"), rows}};
        if (m_plan.firstColumn > 1)
            all.insert(QStringLiteral("primeraColumna"), sheetpreview::columnLetters(m_plan.firstColumn));
        // Always there: zero rows when nothing was left below a blank row.
        all.insert(QStringLiteral("filasSinCargar"),
                   QJsonObject{{QStringLiteral("filaVacia"), m_left.blankRow},
                               {QStringLiteral("filas"), m_left.rows},
                               {QStringLiteral("ultimaFila"), m_left.lastRow},
                               {QStringLiteral("aviso"), left}});
        out << QJsonDocument(all).toJson(QJsonDocument::Indented);
        out.flush();
    } catch (const PlanexoError &e) {
        return m_lote.fail(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM3_CargarEstadisticas]")));
    }
    return Lote::Ok;
}
