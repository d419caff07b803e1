#include "lote/Lote.h"

#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "import/FieldLabels.h"
#include "import/LayoutProposal.h"
#include "import/LoadPlan.h"
#include "import/MappingCheck.h"
#include "import/ProposedMapping.h"
#include "import/SavedMapping.h"
#include "import/SheetGridModel.h"
#include "import/SheetLoader.h"
#include "import/SheetPreview.h"
#include "process/CountryResolver.h"
#include "process/ProcessDriver.h"
#include "process/ProcessRun.h"
#include "process/ResultCounts.h"
#include "review/GroupCorrection.h"
#include "data/History.h"
#include "data/ShipmentLock.h"
#include "shared/DataFolder.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "shared/Startup.h"
#include "shipments/Shipments.h"
#include "transfer/TransferDriver.h"
#include "workbook/pdf/PdfReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

// Answers for nobody: messages are kept for the report, the replace question takes the command
// line's answer, and the relation dialog takes the --pais relations, saved as the dialog saves them.
class LoteInteraction : public Interaction {
public:
    struct Shown {
        QString text;
        Icon icon;
    };
    QVector<Shown> shown;
    bool replace = false;
    QHash<QString, QString> countries; // case-folded origin text -> country code

    Answer message(const QString &text, Icon icon, Buttons buttons, const QString &) override
    {
        shown.push_back({text, icon});
        if (buttons != Buttons::Ok)
            return replace ? Answer::Yes : Answer::No;
        return Answer::Ok;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return std::nullopt; }
    QString openFile(const QString &, const QString &) override { return QString(); }
    void setBusy(bool) override {}

    QString relacionPais(const QString &origin) override
    {
        const QString code = countries.value(origin.toCaseFolded());
        if (code.isEmpty())
            return Interaction::relacionPais(origin);
        SharedState &s = shared();
        s.gestor->Sql = QStringLiteral("insert into ORG (PAI, ORI) values (") + sql::text(origin) +
                        QStringLiteral(",") + sql::text(code) + QStringLiteral(")");
        s.gestor->Ejecutar();
        // The relation is known now; the process's own notice of the unknown origin is no news.
        const QString notice = QStringLiteral("Pais ") + origin + QStringLiteral(" no reconocido");
        if (!shown.isEmpty() && shown.last().text == notice)
            shown.removeLast();
        return code;
    }

    // The last message of one of these icons.
    QString last(std::initializer_list<Icon> icons) const
    {
        for (auto it = shown.crbegin(); it != shown.crend(); ++it) {
            for (Icon icon : icons)
                if (it->icon == icon)
                    return it->text;
        }
        return QString();
    }
};

// Message texts carry VB's CR LF pairs; a terminal wants plain line feeds.
QString plain(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// "A", "AB", "XFD" as a column from 0; -1 for anything else.
int columnFromLetters(const QString &text)
{
    if (text.isEmpty() || text.size() > 3)
        return -1;
    int column = 0;
    for (QChar c : text) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'Z')
            return -1;
        column = column * 26 + (u - u'A' + 1);
    }
    return column - 1;
}

// The shipment number as the shipment window stores it: its quotes become blanks, as the window's
// statement makes them, so the shipment and its articles carry the same number. What the window's
// box cannot hold (a line break or tab, more characters than its 32767) is refused; empty text
// when accepted, else the reason.
QString windowNumber(QString *number)
{
    if (number->trimmed().isEmpty())
        return QStringLiteral("Debe ingresar el número interno");
    if (number->size() > 32767)
        return QStringLiteral("El número de interno tiene más de 32767 caracteres: la ventana no lo admite");
    for (QChar c : *number)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("El número de interno tiene saltos de línea o tabulaciones: la ventana no los admite");
    number->replace(QLatin1Char('\''), QLatin1Char(' '));
    return QString();
}

const QStringList kValueOptions = {QStringLiteral("--interno"), QStringLiteral("--archivo"),
                                   QStringLiteral("--mapeo"),   QStringLiteral("--crear"),
                                   QStringLiteral("--pais"),    QStringLiteral("--carpeta"),
                                   QStringLiteral("--hoja"),    QStringLiteral("--fila-titulos"),
                                   QStringLiteral("--quitar-filas"),
                                   QStringLiteral("--filas"),   QStringLiteral("--posicion"),
                                   QStringLiteral("--sufijos"), QStringLiteral("--unidad-declarada"),
                                   QStringLiteral("--estado"),  QStringLiteral("--origen")};
const QStringList kFlags = {QStringLiteral("--json"), QStringLiteral("--reemplazar"), QStringLiteral("--help"),
                            QStringLiteral("-h")};

} // namespace

QString Lote::help()
{
    return QStringLiteral(
        "Uso: planexo-lote ORDEN [opciones]\n"
        "\n"
        "Procesa facturas y transfiere internos sin ventanas, con la configuración del usuario\n"
        "(unidad declarada, catálogo, estado de mercadería, marca) que guarda la ventana Configuración.\n"
        "\n"
        "Órdenes:\n"
        "  procesar     Carga una hoja de una factura (la primera salvo --hoja), aplica el mapeo de\n"
        "               columnas, lo verifica y corre el proceso automático; muestra los seis totales\n"
        "               del paso 3.\n"
        "      --interno N         número de interno (obligatorio); las comillas simples se guardan\n"
        "                          como blancos, como en la ventana Nuevo Interno\n"
        "      --archivo F         factura .xlsx, .xls, .ods, .csv o .pdf (obligatorio)\n"
        "      --hoja H            la hoja por su nombre o su número (1 la primera, ocultas incluidas);\n"
        "                          de un PDF, la página por su número, o \"todas\" (las páginas unidas)\n"
        "      --fila-titulos N    la fila de los títulos (1 por omisión); \"auto\" toma la propuesta\n"
        "      --quitar-filas L    filas de la hoja que no se procesan: \"12,40-41\"\n"
        "      --mapeo M           \"CAMPO=COLUMNA,...\": el campo sin corchetes (COD. ARTICULO,\n"
        "                          DESCR. MODELO, DESCR. MARIA, KG NETO, CANTIDAD, P. TOTAL,\n"
        "                          P.A (NCM), UNIDAD, ORIGEN) y la columna por su letra (A, B, ...)\n"
        "                          o por el texto de su encabezado; \"recordado\" toma el mapeo\n"
        "                          guardado para los encabezados de esta factura (con su hoja y\n"
        "                          fila de títulos si no se indican); \"propuesto\" el que propone F2\n"
        "      --crear \"desc\"      crea el interno si no existe, con esa descripción\n"
        "      --pais \"ORIGEN=COD\" país para un origen que la tabla de relaciones no conoce\n"
        "                          (se guarda como relación; se puede repetir)\n"
        "      --reemplazar        reemplaza también artículos corregidos a mano (sin él, un\n"
        "                          interno que los tiene no se procesa de nuevo)\n"
        "      --json              la salida como objeto JSON, con el resultado de cada fila, la hoja,\n"
        "                          la fila de títulos y las filas quitadas\n"
        "  transferir   Transfiere el interno a Calvera y actualiza su catálogo.\n"
        "      --interno N         número de interno (obligatorio)\n"
        "      --reemplazar        reemplaza una copia anterior del interno en Calvera\n"
        "  listar       Lista los internos de la base de trabajo.\n"
        "  corregir     Corrige un grupo de filas como la ventana Modificar: cada fila pasa los mismos\n"
        "               controles y se guarda sola; las rechazadas quedan como estaban.\n"
        "      --interno N         número de interno (obligatorio)\n"
        "      --filas \"3,7-9\"     órdenes de las filas (obligatorio)\n"
        "      --posicion P        posición arancelaria, buscada en el nomenclador\n"
        "      --sufijos S         texto de sufijos (AA(MARCA)-AB(MODELO)-...)\n"
        "      --unidad-declarada U, --estado E, --origen PAIS (código o nombre del país)\n"
        "      --json              la salida como objeto JSON\n"
        "\n"
        "Opciones comunes:\n"
        "      --carpeta D         carpeta de datos (la que tiene db/); por omisión PLANEXO_DATA,\n"
        "                          la del programa si tiene db/, o la carpeta de datos del usuario\n"
        "      --help              esta ayuda\n"
        "\n"
        "Estado de salida: 0 correcto, 1 entrada rechazada, 2 falla del proceso o de la base de datos.\n"
        "Nunca pregunta: un origen desconocido sin --pais detiene el proceso antes de guardar nada.\n");
}

QString Lote::option(const QString &name, bool *present) const
{
    const QStringList values = options(name);
    if (present)
        *present = !values.isEmpty();
    return values.isEmpty() ? QString() : values.last();
}

QStringList Lote::options(const QString &name) const
{
    QStringList values;
    for (int i = 1; i + 1 < m_args.size(); ++i) {
        if (m_args[i] == name) {
            values << m_args[i + 1];
            ++i;
        } else if (kValueOptions.contains(m_args[i])) {
            ++i;
        }
    }
    return values;
}

int Lote::refuse(const QString &text)
{
    m_err << plain(text) << '\n';
    m_err.flush();
    return Refused;
}

int Lote::fail(const QString &text)
{
    m_err << plain(text) << '\n';
    m_err.flush();
    return Failed;
}

int Lote::run(const QStringList &arguments)
{
    m_args = arguments;
    if (m_args.isEmpty() || m_args.contains(QStringLiteral("--help")) || m_args.contains(QStringLiteral("-h"))) {
        m_out << help();
        m_out.flush();
        return m_args.isEmpty() ? Refused : Ok;
    }
    // Every word after the command is an option, followed by its value where it takes one.
    for (int i = 1; i < m_args.size(); ++i) {
        if (kValueOptions.contains(m_args[i])) {
            if (i + 1 >= m_args.size())
                return refuse(QStringLiteral("Falta el valor de ") + m_args[i]);
            ++i;
        } else if (!kFlags.contains(m_args[i])) {
            return refuse(QStringLiteral("Opción desconocida: ") + m_args[i] +
                          QStringLiteral(" (planexo-lote --help)"));
        }
    }
    const QString command = m_args.first();
    if (command == QLatin1String("procesar"))
        return procesar();
    if (command == QLatin1String("transferir"))
        return transferir();
    if (command == QLatin1String("listar"))
        return listar();
    if (command == QLatin1String("corregir"))
        return corregir();
    return refuse(QStringLiteral("Orden desconocida: ") + command + QStringLiteral(" (planexo-lote --help)"));
}

bool Lote::open()
{
    bool given = false;
    QString folder = option(QStringLiteral("--carpeta"), &given);
    if (!given) {
        QString problem;
        folder = datafolder::choose(datafolder::current(), &problem);
        if (!problem.isEmpty())
            m_err << problem << '\n';
    }
    SharedState &s = shared();
    int step = 10;
    try {
        startup::openComponents(s, folder, step);
        startup::readDefaults(s, step);
        if (!s.gestor->notice().isEmpty() && !m_args.contains(QStringLiteral("--json")))
            m_out << s.gestor->notice() << '\n';
        return true;
    } catch (const PlanexoError &e) {
        fail(e.description() + QStringLiteral("\r\n\r\n") + QString::number(e.number()) +
             QStringLiteral(" - seccion[Planexo.frmMain.Form_Load Linea ") + QString::number(step) +
             QStringLiteral(" ]::") + e.source());
        return false;
    }
}

int Lote::listar()
{
    if (!open())
        return Failed;
    try {
        for (const shipments::Shipment &shipment : shipments::list(*shared().gestor))
            m_out << shipment.number << '\t' << shipment.description << '\n';
        m_out.flush();
        return Ok;
    } catch (const PlanexoError &e) {
        return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM1_CargarInternos]")));
    }
}

int Lote::procesar()
{
    QString number = option(QStringLiteral("--interno"));
    const QString file = option(QStringLiteral("--archivo"));
    const QString mappingText = option(QStringLiteral("--mapeo"));
    if (number.isEmpty())
        return refuse(QStringLiteral("Falta --interno"));
    if (const QString problem = windowNumber(&number); !problem.isEmpty())
        return refuse(problem);
    if (file.trimmed().isEmpty())
        return refuse(QStringLiteral("Falta --archivo"));
    if (mappingText.trimmed().isEmpty())
        return refuse(QStringLiteral("Falta --mapeo"));
    bool sheetGiven = false, rowGiven = false, removeGiven = false;
    const QString sheetText = option(QStringLiteral("--hoja"), &sheetGiven);
    const QString rowText = option(QStringLiteral("--fila-titulos"), &rowGiven);
    const QString removeText = option(QStringLiteral("--quitar-filas"), &removeGiven);
    LoadPlan plan;
    if (rowGiven && rowText.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0) {
        bool ok = false;
        plan.headingRow = rowText.trimmed().toInt(&ok);
        if (!ok || plan.headingRow < 1 || plan.headingRow >= 1048576)
            return refuse(QStringLiteral("--fila-titulos espera un número de fila o \"auto\": ") + rowText);
    }
    if (removeGiven && !parseRowList(removeText, &plan.removedRows))
        return refuse(QStringLiteral("--quitar-filas espera filas de la hoja como \"12,40-41\": ") + removeText);

    LoteInteraction answers;
    answers.replace = m_args.contains(QStringLiteral("--reemplazar"));
    for (const QString &relation : options(QStringLiteral("--pais"))) {
        const qsizetype at = relation.lastIndexOf(QLatin1Char('='));
        const QString origin = at > 0 ? relation.left(at) : QString();
        const QString code = at > 0 ? relation.mid(at + 1).trimmed() : QString();
        if (origin.isEmpty() || code.isEmpty())
            return refuse(QStringLiteral("--pais espera \"ORIGEN=CODIGO\": ") + relation);
        answers.countries.insert(origin.toCaseFolded(), code);
    }
    Interaction *previous = setInteraction(&answers);
    struct Restore {
        Interaction *previous;
        ~Restore() { setInteraction(previous); }
    } restore{previous};

    if (!open())
        return Failed;
    SharedState &s = shared();

    // The shipment; a new one is created only once every input has been accepted.
    bool create = false;
    const QString description = option(QStringLiteral("--crear"), &create);
    try {
        if (shipments::exists(*s.gestor, number))
            create = false;
        else if (!create)
            return refuse(QStringLiteral("El interno ") + number +
                          QStringLiteral(" no existe (use --crear \"descripción\" para crearlo)"));
    } catch (const PlanexoError &e) {
        return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM1_CargarInternos]")));
    }
    s.sInternoActual = number;
    s.iPaso = 2;

    // The workbook, as step 2 loads it.
    if (!s.entorno->ExisteArchivo(file))
        return refuse(QStringLiteral("No se encuentra el archivo seleccionado ") + QStringLiteral("\r\n") + file);
    // The worksheet and heading row, as F4 and F3 choose them.
    WorkbookSheetList sheets;
    QHash<int, SheetPreview> previews;
    const auto preview = [&](int sheet) -> const SheetPreview & {
        auto it = previews.find(sheet);
        if (it == previews.end()) it = previews.insert(sheet, sheetpreview::read(file, sheet));
        return *it;
    };
    try {
        if (sheetGiven || m_args.contains(QStringLiteral("--json")) ||
            mappingText.trimmed().compare(QLatin1String("recordado"), Qt::CaseInsensitive) == 0)
            sheets = sheetpreview::sheets(file);
        if (sheetGiven) {
            plan.sheet = -1;
            for (int i = 0; i < sheets.size() && plan.sheet < 0; ++i)
                if (sheets[i].name == sheetText) plan.sheet = i;
            for (int i = 0; i < sheets.size() && plan.sheet < 0; ++i)
                if (sheets[i].name.compare(sheetText.trimmed(), Qt::CaseInsensitive) == 0) plan.sheet = i;
            bool ok = false;
            const int n = sheetText.trimmed().toInt(&ok);
            // A PDF's sheets are the pages joined, then each page: a number names a page.
            QFile head(file);
            if (plan.sheet < 0 && head.open(QIODevice::ReadOnly) && pdf::isPdf(head.read(8))) {
                const bool all =
                    sheetText.trimmed().compare(QLatin1String("todas"), Qt::CaseInsensitive) == 0;
                for (int i = 0; i < sheets.size() && plan.sheet < 0; ++i)
                    if ((all && i == 0) || (ok && sheets[i].name == QStringLiteral("Página %1").arg(n)))
                        plan.sheet = i;
                ok = false;
            }
            if (plan.sheet < 0 && ok && n >= 1 && n <= sheets.size()) plan.sheet = n - 1;
            if (plan.sheet < 0) {
                QStringList names;
                for (const WorkbookSheetInfo &sheet : sheets)
                    names << (sheet.hidden ? sheet.name + QStringLiteral(" (oculta)") : sheet.name);
                return refuse(QStringLiteral("La hoja \"") + sheetText + QStringLiteral("\" no está en el libro; sus hojas: ") +
                              names.join(QStringLiteral(", ")));
            }
        }
        if (rowGiven && rowText.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
            plan.headingRow = std::max(layoutproposal::headingRow(preview(plan.sheet)), 1);
    } catch (const PlanexoError &e) {
        return refuse(sheetloader::failureMessage(e, 100));
    }

    SheetGridModel grid;
    SheetRows sheetRows;
    int step = 10;
    const auto load = [&]() -> bool {
        try {
            sheetloader::loadFile(file, plan, grid, sheetRows, step);
            return true;
        } catch (const PlanexoError &e) {
            refuse(sheetloader::failureMessage(e, step));
            return false;
        }
    };
    if (!load())
        return Refused;

    // The mapping.
    if (mappingText.trimmed().compare(QLatin1String("recordado"), Qt::CaseInsensitive) == 0) {
        try {
            std::optional<savedmapping::Mapping> remembered = savedmapping::recall(*s.gestor, grid);
            // The supplier's layout on its own sheet and heading row, when the command named neither.
            if (!remembered && !sheetGiven && !rowGiven) {
                const std::optional<savedmapping::Layout> layout =
                    savedmapping::findLayout(savedmapping::layouts(*s.gestor), int(sheets.size()), plan, preview);
                if (layout) {
                    plan.sheet = layout->sheet;
                    plan.headingRow = layout->headingRow;
                    if (!load())
                        return Refused;
                    remembered = layout->mapping;
                }
            }
            if (!remembered)
                return refuse(QStringLiteral("No hay un mapeo recordado para los encabezados de esta factura"));
            savedmapping::apply(grid, *remembered);
        } catch (const PlanexoError &e) {
            return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_EstablecerCampo]")));
        }
    } else if (mappingText.trimmed().compare(QLatin1String("propuesto"), Qt::CaseInsensitive) == 0) {
        try {
            const savedmapping::Mapping proposed =
                proposedmapping::propose(grid, proposedmapping::learned(savedmapping::layouts(*s.gestor)));
            if (proposed.isEmpty())
                return refuse(QStringLiteral("No hay un mapeo propuesto para los encabezados de esta factura"));
            savedmapping::apply(grid, proposed);
        } catch (const PlanexoError &e) {
            return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM2_EstablecerCampo]")));
        }
    } else {
        QStringList labels = fieldlabels::chooserEntries();
        labels.removeFirst(); // "< NINGUNO >" maps nothing
        QHash<int, QString> byColumn;
        for (const QString &pair : mappingText.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const qsizetype at = pair.indexOf(QLatin1Char('='));
            const QString name = pair.left(at).trimmed();
            const QString where = at > 0 ? pair.mid(at + 1).trimmed() : QString();
            QString label;
            for (const QString &l : labels) {
                if (l.mid(2, l.size() - 4).compare(name, Qt::CaseInsensitive) == 0)
                    label = l;
            }
            if (at <= 0 || where.isEmpty() || label.isEmpty()) {
                QStringList names;
                for (const QString &l : labels)
                    names << l.mid(2, l.size() - 4);
                return refuse(QStringLiteral("Mapeo no válido: \"") + pair +
                              QStringLiteral("\"; se espera CAMPO=COLUMNA con CAMPO uno de: ") +
                              names.join(QStringLiteral(", ")));
            }
            int column = -1;
            for (int c = 0; c < grid.cols() && column < 0; ++c) {
                if (grid.text(0, c).trimmed().compare(where, Qt::CaseInsensitive) == 0)
                    column = c;
            }
            if (column < 0)
                column = columnFromLetters(where);
            if (column < 0 || column >= grid.cols())
                return refuse(QStringLiteral("La columna \"") + where +
                              QStringLiteral("\" no es una letra de columna ni un encabezado de la hoja"));
            if (byColumn.contains(column))
                return refuse(QStringLiteral("La columna \"") + where + QStringLiteral("\" recibe dos campos"));
            byColumn.insert(column, label);
        }
        for (auto it = byColumn.cbegin(); it != byColumn.cend(); ++it)
            grid.setText(mapping::MappingRow, it.key(), it.value());
    }

    // Rows named for removal that the load did not take are a mistake worth saying.
    for (int row : plan.removedRows) {
        if (!sheetRows.removedSheetRows().contains(row))
            return refuse(QStringLiteral("La fila ") + QString::number(row) +
                          QStringLiteral(" no es una fila de datos de la hoja (datos: filas ") +
                          sheetRows.rangesText() + QStringLiteral(")"));
    }

    // The verification of step 2.
    try {
        const QString problem = mapping::firstProblem(grid);
        if (!problem.isEmpty())
            return refuse(problem);
    } catch (const PlanexoError &e) {
        return refuse(e.description());
    }

    // Every origin must resolve without asking, before anything is stored.
    const int originColumn = ColumnMap::recognise(grid).column(Field::Origen);
    if (originColumn >= 0) {
        QStringList unknown;
        try {
            CountryResolver resolver(s);
            for (int row = 2; row < grid.rows(); ++row) {
                const QString origin = grid.text(row, originColumn);
                if (unknown.contains(origin) || answers.countries.contains(origin.toCaseFolded()))
                    continue;
                if (!resolver.resolvesSilently(origin))
                    unknown << origin;
            }
        } catch (const PlanexoError &e) {
            return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.ObtenerCodigoPais]")));
        }
        if (!unknown.isEmpty())
            return refuse(QStringLiteral("Orígenes sin país (indíquelos con --pais \"ORIGEN=CODIGO\"):\n  ") +
                          unknown.join(QStringLiteral("\n  ")));
    }

    if (create) {
        try {
            shipments::create(*s.gestor, number, description.trimmed().isEmpty() ? number : description);
        } catch (const PlanexoError &e) {
            return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmInterno.NuevoInterno]")));
        }
    }

    // The automatic process, as the window runs it.
    QuietProgress progress;
    ProcessDriver driver(s, progress);
    if (!driver.FRAM2_GuardarDatosToBase(grid)) {
        const QString failure = answers.last({Interaction::Icon::Critical});
        if (!failure.isEmpty())
            return fail(failure);
        return refuse(answers.last(
            {Interaction::Icon::Exclamation, Interaction::Icon::None, Interaction::Icon::Question}));
    }
    try {
        savedmapping::remember(*s.gestor, grid, plan);
    } catch (const PlanexoError &e) {
        m_err << "Aviso: el mapeo no se pudo recordar: " << e.description() << '\n';
    }

    try {
        const ResultCounts c = ResultCounts::read(s);
        const auto four = [](long long n) { return vb::format(double(n), QStringLiteral("0000")); };
        if (!m_args.contains(QStringLiteral("--json"))) {
            m_out << "Total de Registros\t" << four(c.total) << '\n'
                  << "Registros con Errores\t" << four(c.erroneos) << '\n'
                  << "Errores de Posición\t" << four(c.errPos) << '\n'
                  << "Errores de Sufijos\t" << four(c.errSuf) << '\n'
                  << "Articulos en Catalogo\t" << four(c.enCatalogo) << '\n'
                  << "Articulos Nuevos\t" << four(c.nuevos) << '\n';
        } else {
            QJsonArray rows;
            Recordset rs;
            s.gestor->Sql = QStringLiteral("select ARTORD, ARTNRO, PRCEST, PRCCRC from ART where INTNRO = ") +
                            sql::text(number) + QStringLiteral(" order by ARTORD");
            if (s.gestor->CrearRs(rs)) {
                for (; !rs.Eof(); rs.MoveNext()) {
                    QJsonObject row;
                    const qint64 order = rs.Fields(QStringLiteral("ARTORD")).toLongLong();
                    row.insert(QStringLiteral("ARTORD"), order);
                    // ARTORD n stores grid row n + 1.
                    row.insert(QStringLiteral("fila"), sheetRows.sheetRow(int(order) + 1));
                    for (const char *field : {"ARTNRO", "PRCEST", "PRCCRC"})
                        row.insert(QLatin1String(field), s.fmt->EsNull(rs.Fields(QLatin1String(field))));
                    rows.append(row);
                }
            }
            QJsonObject counts{{QStringLiteral("total"), c.total},         {QStringLiteral("erroneos"), c.erroneos},
                               {QStringLiteral("errPos"), c.errPos},       {QStringLiteral("errSuf"), c.errSuf},
                               {QStringLiteral("enCatalogo"), c.enCatalogo}, {QStringLiteral("nuevos"), c.nuevos}};
            QJsonArray removed;
            for (int row : sheetRows.removedSheetRows())
                removed.append(row);
            QJsonObject sheet{{QStringLiteral("numero"), plan.sheet + 1}};
            if (plan.sheet < sheets.size())
                sheet.insert(QStringLiteral("nombre"), sheets[plan.sheet].name);
            QJsonObject all{{QStringLiteral("interno"), number},
                            {QStringLiteral("totales"), counts},
                            {QStringLiteral("hoja"), sheet},
                            {QStringLiteral("filaTitulos"), plan.headingRow},
                            {QStringLiteral("filasDatos"), sheetRows.rangesText()},
                            {QStringLiteral("filasQuitadas"), removed},
                            {QStringLiteral("filas"), rows}};
            m_out << QJsonDocument(all).toJson(QJsonDocument::Indented);
        }
        m_out.flush();
    } catch (const PlanexoError &e) {
        return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM3_CargarEstadisticas]")));
    }
    return Ok;
}

int Lote::transferir()
{
    QString number = option(QStringLiteral("--interno"));
    if (number.isEmpty())
        return refuse(QStringLiteral("Falta --interno"));
    if (const QString problem = windowNumber(&number); !problem.isEmpty())
        return refuse(problem);
    LoteInteraction answers;
    answers.replace = m_args.contains(QStringLiteral("--reemplazar"));
    Interaction *previous = setInteraction(&answers);
    struct Restore {
        Interaction *previous;
        ~Restore() { setInteraction(previous); }
    } restore{previous};

    if (!open())
        return Failed;
    SharedState &s = shared();
    try {
        if (!shipments::exists(*s.gestor, number))
            return refuse(QStringLiteral("El interno ") + number + QStringLiteral(" no existe"));
    } catch (const PlanexoError &e) {
        return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.FRAM3_Transferir]")));
    }
    s.sInternoActual = number;
    s.iPaso = 3;

    QuietProgress progress;
    TransferDriver driver(s, progress);
    driver.FRM3_Tranferir();

    const QString done = answers.last({Interaction::Icon::Information});
    if (progress.caption() == QLatin1String("Fin de proceso") && !done.isEmpty() &&
        answers.last({Interaction::Icon::Critical, Interaction::Icon::None}).isEmpty()) {
        m_out << plain(done) << '\n';
        m_out.flush();
        return Ok;
    }
    for (const auto &shown : answers.shown)
        m_err << plain(shown.text) << '\n';
    if (answers.shown.isEmpty())
        m_err << "El interno " << number << " ya está en Calvera: no se transfirió (use --reemplazar)\n";
    m_err.flush();
    // The pre-check and an unanswered replace question refuse; anything else failed.
    const bool failed = !answers.last({Interaction::Icon::Critical, Interaction::Icon::None}).isEmpty() ||
                        progress.caption() == QLatin1String("Fin de proceso");
    return failed ? Failed : Refused;
}

// "3,7-9" as row orders in the given order; empty when any piece is no order or range.
static QList<int> rowOrders(const QString &text)
{
    QList<int> orders;
    for (const QString &piece : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = piece.trimmed().split(QLatin1Char('-'));
        bool ok1 = false, ok2 = true;
        const int from = ends.value(0).trimmed().toInt(&ok1);
        const int to = ends.size() == 2 ? ends[1].trimmed().toInt(&ok2) : from;
        if (!ok1 || !ok2 || ends.size() > 2 || from < 1 || to < from || to - from > 1000000)
            return {};
        for (int order = from; order <= to; ++order)
            if (!orders.contains(order)) orders << order;
    }
    return orders;
}

int Lote::corregir()
{
    QString number = option(QStringLiteral("--interno"));
    if (number.isEmpty())
        return refuse(QStringLiteral("Falta --interno"));
    if (const QString problem = windowNumber(&number); !problem.isEmpty())
        return refuse(problem);
    bool given = false;
    const QString rows = option(QStringLiteral("--filas"), &given);
    if (!given)
        return refuse(QStringLiteral("Falta --filas"));
    const QList<int> orders = rowOrders(rows);
    if (orders.isEmpty())
        return refuse(QStringLiteral("Filas no válidas: \"") + rows + QStringLiteral("\" (por ejemplo \"3,7-9\")"));

    if (!open())
        return Failed;
    SharedState &s = shared();
    groupcorrection::Changes changes;
    try {
        if (!shipments::exists(*s.gestor, number))
            return refuse(QStringLiteral("El interno ") + number + QStringLiteral(" no existe"));
        s.sInternoActual = number;

        // The position as Enter in the editor checks it; the suffixes as given.
        const QString position = option(QStringLiteral("--posicion"), &given);
        if (given) {
            if (!recordedit::wellFormed(position))
                return refuse(QStringLiteral("Error en la estructura de la posición"));
            const QString pointed = recordedit::pointed(position);
            const std::optional<recordedit::Position> found = recordedit::findPosition(s, pointed);
            if (!found)
                return refuse(QStringLiteral("Posición no encontrada en Nomenclador"));
            changes.position = groupcorrection::Changes::Position{position, pointed, found->unit,
                                                                  found->lapi ? QStringLiteral("S") : QStringLiteral("N")};
        }
        const QString suffixes = option(QStringLiteral("--sufijos"), &given);
        if (given) changes.suffixes = suffixes;
        const QString unit = option(QStringLiteral("--unidad-declarada"), &given);
        if (given) changes.declaredUnit = unit;
        const QString state = option(QStringLiteral("--estado"), &given);
        if (given) changes.goodsState = state;
        const QString country = option(QStringLiteral("--origen"), &given);
        if (given) {
            for (const recordedit::Country &c : recordedit::countries(s)) {
                if (c.id.compare(country.trimmed(), Qt::CaseInsensitive) == 0 ||
                    c.name.compare(country.trimmed(), Qt::CaseInsensitive) == 0)
                    changes.country = c.id;
            }
            if (!changes.country)
                return refuse(QStringLiteral("País desconocido: ") + country);
        }
    } catch (const PlanexoError &e) {
        return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar.CargarDatos]")));
    }

    // Not while another instance processes or transfers the shipment.
    ShipmentLock lock;
    if (lock.acquire(s.gestor->databaseFile(), number) == ShipmentLock::Result::HeldElsewhere)
        return refuse(ShipmentLock::busyMessage(number));
    QStringList tags;
    for (int order : orders)
        tags << vb::format(double(order), QStringLiteral("0000"));
    groupcorrection::Result result;
    try {
        result = groupcorrection::apply(s, tags, changes, history::kBatch);
    } catch (const PlanexoError &e) {
        return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_GrabarDatos]")));
    }

    if (m_args.contains(QStringLiteral("--json"))) {
        QJsonArray saved, refused;
        for (const QString &tag : result.saved)
            saved.append(tag.toInt());
        for (const groupcorrection::Refused &r : result.refused)
            refused.append(QJsonObject{{QStringLiteral("ARTORD"), r.tag.toInt()},
                                       {QStringLiteral("ARTNRO"), r.article},
                                       {QStringLiteral("mensaje"), plain(r.refusal.text)}});
        m_out << QJsonDocument(QJsonObject{{QStringLiteral("interno"), number},
                                           {QStringLiteral("total"), result.total},
                                           {QStringLiteral("guardadas"), saved},
                                           {QStringLiteral("rechazadas"), refused}})
                     .toJson(QJsonDocument::Indented);
    } else {
        m_out << plain(groupcorrection::report(result)) << '\n';
    }
    m_out.flush();
    return result.refused.isEmpty() ? Ok : Refused;
}
