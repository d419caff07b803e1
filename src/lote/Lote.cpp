#include "lote/Lote.h"
#include "lote/LoteInteraction.h"

#include "data/History.h"
#include "data/PlanexoError.h"
#include "data/ShipmentLock.h"
#include "data/VbFormat.h"
#include "review/GroupCorrection.h"
#include "shared/DataFolder.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "shared/Startup.h"
#include "shipments/Shipments.h"
#include "transfer/TransferDriver.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

const QStringList kValueOptions = {QStringLiteral("--interno"),
                                   QStringLiteral("--archivo"),
                                   QStringLiteral("--mapeo"),
                                   QStringLiteral("--crear"),
                                   QStringLiteral("--pais"),
                                   QStringLiteral("--carpeta"),
                                   QStringLiteral("--hoja"),
                                   QStringLiteral("--fila-titulos"),
                                   QStringLiteral("--quitar-filas"),
                                   QStringLiteral("--filas"),
                                   QStringLiteral("--posicion"),
                                   QStringLiteral("--sufijos"),
                                   QStringLiteral("--unidad-declarada"),
                                   QStringLiteral("--estado"),
                                   QStringLiteral("--origen")};
const QStringList kFlags = {QStringLiteral("--json"), QStringLiteral("--reemplazar"),
                            QStringLiteral("--seguir-tras-vacias"), QStringLiteral("--help"),
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
        "      --archivo F         la factura (obligatorio): Excel 2007 y posteriores (.xlsx, .xlsm),\n"
        "                          Excel binario (.xlsb), Excel 5.0 a 2003 (.xls), OpenDocument (.ods),\n"
        "                          texto separado por \";\", \",\" o tabulaciones (.csv, .txt) o PDF\n"
        "                          con texto (.pdf)\n"
        "      --hoja H            la hoja por su nombre o su número (1 la primera, ocultas incluidas);\n"
        "                          de un PDF, la página por su número, o \"todas\" (las páginas unidas)\n"
        "      --fila-titulos N    la fila de los títulos (1 por omisión), o la celda del primer título\n"
        "                          si la tabla no empieza en la columna A (\"B4\"); \"auto\" toma la\n"
        "                          fila y la primera columna propuestas\n"
        "      --quitar-filas L    filas de la hoja que no se procesan: \"12,40-41\"; \"propuestas\"\n"
        "                          quita las que propone la ventana (títulos repetidos, líneas de\n"
        "                          página, totales)\n"
        "      --seguir-tras-vacias  toma también los artículos debajo de filas vacías (sin esta\n"
        "                          opción se informa cuántas filas con datos quedaron sin cargar)\n"
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
        "                          la fila de títulos, las filas quitadas y las que quedaron sin cargar\n"
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
    if (present) *present = !values.isEmpty();
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
    m_err << lote::plain(text) << '\n';
    m_err.flush();
    return Refused;
}

int Lote::fail(const QString &text)
{
    m_err << lote::plain(text) << '\n';
    m_err.flush();
    return Failed;
}

int Lote::run(const QStringList &arguments)
{
    m_args = arguments;
    if (m_args.isEmpty() || m_args.contains(QStringLiteral("--help")) ||
        m_args.contains(QStringLiteral("-h"))) {
        m_out << help();
        m_out.flush();
        return m_args.isEmpty() ? Refused : Ok;
    }
    // Every word after the command is an option, followed by its value where it takes one.
    for (int i = 1; i < m_args.size(); ++i) {
        if (kValueOptions.contains(m_args[i])) {
            if (i + 1 >= m_args.size()) return refuse(QStringLiteral("Falta el valor de ") + m_args[i]);
            ++i;
        } else if (!kFlags.contains(m_args[i])) {
            return refuse(QStringLiteral("Opción desconocida: ") + m_args[i] +
                          QStringLiteral(" (planexo-lote --help)"));
        }
    }
    const QString command = m_args.first();
    if (command == QLatin1String("procesar")) return procesar();
    if (command == QLatin1String("transferir")) return transferir();
    if (command == QLatin1String("listar")) return listar();
    if (command == QLatin1String("corregir")) return corregir();
    return refuse(QStringLiteral("Orden desconocida: ") + command + QStringLiteral(" (planexo-lote --help)"));
}

bool Lote::open()
{
    bool given = false;
    QString folder = option(QStringLiteral("--carpeta"), &given);
    if (!given) {
        QString problem;
        folder = datafolder::choose(datafolder::current(), &problem);
        if (!problem.isEmpty()) m_err << problem << '\n';
    }
    SharedState &s = shared();
    int step = 10;
    try {
        startup::openComponents(s, folder, step);
        startup::readDefaults(s, step);
        if (!m_args.contains(QStringLiteral("--json")))
            for (const QString &notice : {s.gestor->notice(), s.enlace->notice()})
                if (!notice.isEmpty()) m_out << notice << '\n';
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
    if (!open()) return Failed;
    try {
        for (const shipments::Shipment &shipment : shipments::list(*shared().gestor))
            m_out << shipment.number << '\t' << shipment.description << '\n';
        m_out.flush();
        return Ok;
    } catch (const PlanexoError &e) {
        return fail(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM1_CargarInternos]")));
    }
}

int Lote::transferir()
{
    QString number = option(QStringLiteral("--interno"));
    if (number.isEmpty()) return refuse(QStringLiteral("Falta --interno"));
    if (const QString problem = lote::windowNumber(&number); !problem.isEmpty()) return refuse(problem);
    LoteInteraction answers;
    answers.replace = m_args.contains(QStringLiteral("--reemplazar"));
    InteractionScope scope(&answers);

    if (!open()) return Failed;
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
        m_out << lote::plain(done) << '\n';
        m_out.flush();
        return Ok;
    }
    for (const auto &shown : answers.shown)
        m_err << lote::plain(shown.text) << '\n';
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
        if (!ok1 || !ok2 || ends.size() > 2 || from < 1 || to < from || to - from > 1000000) return {};
        for (int order = from; order <= to; ++order)
            if (!orders.contains(order)) orders << order;
    }
    return orders;
}

int Lote::corregir()
{
    QString number = option(QStringLiteral("--interno"));
    if (number.isEmpty()) return refuse(QStringLiteral("Falta --interno"));
    if (const QString problem = lote::windowNumber(&number); !problem.isEmpty()) return refuse(problem);
    bool given = false;
    const QString rows = option(QStringLiteral("--filas"), &given);
    if (!given) return refuse(QStringLiteral("Falta --filas"));
    const QList<int> orders = rowOrders(rows);
    if (orders.isEmpty())
        return refuse(QStringLiteral("Filas no válidas: \"") + rows +
                      QStringLiteral("\" (por ejemplo \"3,7-9\")"));

    if (!open()) return Failed;
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
            if (!found) return refuse(QStringLiteral("Posición no encontrada en Nomenclador"));
            changes.position = groupcorrection::Changes::Position{
                position, pointed, found->unit, found->lapi ? QStringLiteral("S") : QStringLiteral("N")};
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
            if (!changes.country) return refuse(QStringLiteral("País desconocido: ") + country);
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
                                       {QStringLiteral("mensaje"), lote::plain(r.refusal.text)}});
        m_out << QJsonDocument(QJsonObject{{QStringLiteral("interno"), number},
                                           {QStringLiteral("total"), result.total},
                                           {QStringLiteral("guardadas"), saved},
                                           {QStringLiteral("rechazadas"), refused}})
                     .toJson(QJsonDocument::Indented);
    } else {
        m_out << lote::plain(groupcorrection::report(result)) << '\n';
    }
    m_out.flush();
    return result.refused.isEmpty() ? Ok : Refused;
}
