#include "TransferDriver.h"

#include "CalveraWrites.h"
#include "Version.h"
#include "data/History.h"
#include "data/DataConnection.h"
#include "data/PlanexoError.h"
#include "data/Recordset.h"
#include "data/ShipmentLock.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "modGlobal.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"

#include <QSet>

#include <algorithm>
#include <limits>
#include <cmath>

using Icon = Interaction::Icon;

namespace {

const QString kInternos = QStringLiteral("INTERNOS");

bool isBlank(const QVariant &value)
{
    if (value.isNull() || !value.isValid()) return true;
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray &utf8 = *static_cast<const QByteArray *>(value.constData());
        return std::all_of(utf8.cbegin(), utf8.cend(), [](char c) { return c == ' '; });
    }
    return vb::trim(value.toString()).isEmpty();
}

// A number for a statement from a value that setAnsi may reset.
QString number(QVariant value)
{
    return TransferDriver::setAnsi(value);
}

// setAnsi of a value into a command; a number read from the database goes in as it is.
void addNumber(CalveraCommand &c, const QVariant &value)
{
    if (value.typeId() == QMetaType::Double)
        c.number(value.toDouble());
    else
        c.number(number(value));
}

// setAnsi of a database number formatted with a pattern.
void addFormatted(CalveraCommand &c, double value, const QString &pattern)
{
    if (std::isfinite(value))
        c.number(value, pattern);
    else
        c.number(vb::format(value, pattern).replace(vb::decimalSeparator(), QLatin1Char('.')));
}

void addFormatted(CalveraCommand &c, const QVariant &value, const QString &pattern)
{
    if (value.typeId() == QMetaType::Double)
        addFormatted(c, value.toDouble(), pattern);
    else
        c.number(number(vb::format(value, pattern)));
}

// setAnsi of TransferDriver::unitPrice into a command, without reading back the texts it formats.
void addUnitPrice(CalveraCommand &c, const QVariant &total, const QVariant &quantity)
{
    // The total formatted "00.00" reads back as the total rounded to cents (a zero as zero).
    if (total.typeId() != QMetaType::Double || quantity.typeId() != QMetaType::Double ||
        !std::isfinite(total.toDouble())) {
        c.number(number(TransferDriver::unitPrice(total, quantity)));
        return;
    }
    const double rounded = vb::roundHalfAway(total.toDouble(), 2);
    const double divisor = quantity.toDouble();
    if (divisor == 0) throw PlanexoError::divisionByZero();
    addFormatted(c, rounded / divisor, QStringLiteral("00.0000"));
}

// The article fields the transfer reads.
enum Art {
    ARTNRO,
    ARTDSC,
    DESCRIPCION_MARIA,
    ARTTKG,
    ARTKGB,
    ARTCAN,
    ARTUNI,
    ARTTOT,
    ARTORG,
    PRCNCM,
    PRCSUF,
    PRCLAP,
    PRCDUN,
    PRCEUN,
    PRCECA,
    PRCSUN,
    PRCSCA,
    PRCESM,
    PRCORI,
    PRCCRC,
    kArtFields
};
// The fields of type TEXT, from ARTNRO to PRCCRC.
constexpr bool kArtText[kArtFields] = {true, true, true, false, false, false, false, false, true, true,
                                       true, true, true, true,  false, true,  false, true,  true, true};
const char *const kArtNames[kArtFields] = {"ARTNRO", "ARTDSC", "DESCRIPCION_MARIA",
                                           "ARTTKG", "ARTKGB", "ARTCAN",
                                           "ARTUNI", "ARTTOT", "ARTORG",
                                           "PRCNCM", "PRCSUF", "PRCLAP",
                                           "PRCDUN", "PRCEUN", "PRCECA",
                                           "PRCSUN", "PRCSCA", "PRCESM",
                                           "PRCORI", "PRCCRC"};

const QString kSubitemsInsert =
    QStringLiteral("insert into subitems (idarticulo,idcatalogo,descripcion,Descripcion_Maria,interno,ncm,"
                   "IdUnidad,Cantidad,Preciounitario,IdPais,KGNETO,fob,EstadoMerc,estadistica,"
                   "valorrelacionestadistica,sufijos,LAPI,valorderesp,kgbruto,biendeuso,deresp) values "
                   "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,'N',?)");
const QString kCatalogueInsert =
    QStringLiteral("insert into CATARTICULOS (idcatalogo, idarticulo, descripcion, idpais, cantidad, "
                   "Preciounitario, ncm, lapi, sufijos, idunidad, estadistica, "
                   "valorrelacionestadistica, estadomerc, deresp, valorderesp) values "
                   "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");

// A date literal that is a plain quoted text, which a bound text stores alike.
bool quotedText(const QString &literal)
{
    if (literal.size() < 2 || !literal.startsWith(QLatin1Char('\'')) || !literal.endsWith(QLatin1Char('\'')))
        return false;
    const QString inside = literal.mid(1, literal.size() - 2);
    return inside.count(QLatin1Char('\'')) == 2 * inside.count(QStringLiteral("''"));
}

} // namespace

// Articles read from the work database, their fields found by name once.
class ArticleRows {
  public:
    QStringList names;
    QVector<QVector<QVariant>> rows;

    // A field of a row; error 3265 when the query has no such field, as a recordset raises it.
    const QVariant &at(qsizetype row, Art field) const
    {
        int &i = m_index[field];
        if (i < 0) {
            for (int c = 0; c < names.size() && i < 0; ++c)
                if (names[c].compare(QLatin1String(kArtNames[field]), Qt::CaseInsensitive) == 0) i = c;
            if (i < 0)
                throw PlanexoError(
                    3265,
                    QStringLiteral("No se encontró el elemento en la colección que corresponde "
                                   "con el nombre o el ordinal solicitado: ") +
                        QLatin1String(kArtNames[field]),
                    QStringLiteral("ADODB.Fields"));
        }
        return rows[row][i];
    }

    // Whether a row's check result is "OK", as the statement compares it.
    bool checkedOk(qsizetype row) const
    {
        const QVariant &v = at(row, PRCCRC);
        if (v.isNull() || !v.isValid()) return false;
        if (v.typeId() == QMetaType::QByteArray)
            return *static_cast<const QByteArray *>(v.constData()) == QByteArrayView("OK");
        return v.toString() == QLatin1String("OK");
    }

  private:
    mutable int m_index[kArtFields] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                       -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

TransferDriver::TransferDriver(SharedState &state, Progress &progress)
    : m_state(state), m_progress(progress), m_clock(systemClock())
{
}

std::function<QDateTime()> TransferDriver::systemClock()
{
    // The local time is worked out once a second: every working out reads the time zone afresh.
    return [second = std::numeric_limits<qint64>::min(), local = QDateTime()]() mutable {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const qint64 s = now >= 0 ? now / 1000 : (now - 999) / 1000;
        if (s != second) {
            second = s;
            local = QDateTime::fromMSecsSinceEpoch(s * 1000);
        }
        return local;
    };
}

QString TransferDriver::setAnsi(QVariant &value)
{
    if (!vb::isNumeric(value)) {
        value = 0;
        return QStringLiteral("0");
    }
    if (value.typeId() == QMetaType::QString) {
        // A text such as a formatted price keeps its digits ("02,5000" -> 02.5000); only the
        // locale's decimal separator becomes a point. Any other numeric text goes by its value, so
        // a group separator never turns into a decimal point.
        const QString t = value.toString();
        const QChar sep = vb::decimalSeparator();
        bool plain = !t.isEmpty();
        int seps = 0;
        for (qsizetype i = 0; i < t.size() && plain; ++i) {
            const QChar c = t.at(i);
            if (c == sep && ++seps == 1 && i > 0) continue;
            if (c == QLatin1Char('-') && i == 0 && t.size() > 1) continue;
            plain = c.isDigit() && c.unicode() < 128;
        }
        if (plain && !t.endsWith(sep)) {
            QString out = t;
            out.replace(sep, QLatin1Char('.'));
            return out;
        }
        return vb::sqlNumberLiteral(vb::cdbl(t));
    }
    return vb::sqlNumberLiteral(value.toDouble());
}

QVariant TransferDriver::unitPrice(const QVariant &total, const QVariant &quantity)
{
    // Null in either operand gives Null, as the original's arithmetic on Variants did.
    if (total.isNull() || !total.isValid() || quantity.isNull() || !quantity.isValid()) return QVariant();
    const double rounded = vb::cdbl(vb::format(total, QStringLiteral("00.00")));
    const double divisor = vb::cdbl(quantity);
    if (divisor == 0) throw PlanexoError::divisionByZero();
    return vb::format(rounded / divisor, QStringLiteral("00.0000"));
}

QString TransferDriver::signature()
{
    return modGlobal::ObtenerUsuario() + QStringLiteral(" @[Planexo Generico v.%1.%2.%3]")
                                             .arg(planexo::version::major)
                                             .arg(planexo::version::minor)
                                             .arg(planexo::version::revision);
}

void TransferDriver::requireComponents() const
{
    if (!m_state.gestor || !m_state.fmt || !m_state.enlace)
        throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                           QStringLiteral("Planexo"));
}

DataConnection &TransferDriver::calvera() const
{
    return m_state.enlace->getDataConnectionByEntity(kInternos);
}

bool TransferDriver::query(DataConnection &connection, const QString &statement, Recordset &rs)
{
    if (m_observer) m_observer(statement);
    connection.Sql = statement;
    return connection.CrearRs(rs);
}

bool TransferDriver::query(DataConnection &connection, const QString &observed, ArticleRows &articles,
                           const QString &executed)
{
    if (m_observer) m_observer(observed);
    const QString &statement = executed.isNull() ? observed : executed;
    // The articles' fields that the transfer reads, in place of "select *": the same rows, without
    // converting the columns that nothing reads. Should the table lack one, the statement as written
    // runs and the field is missed where it is read.
    // Where the database keeps UTF-8, texts come as their bytes: they go to Calvera as they are.
    static const QString star = QStringLiteral("select * ");
    if (statement.startsWith(star)) {
        const bool bytes = connection.storesUtf8();
        QString columns;
        for (int i = 0; i < kArtFields; ++i) {
            const QLatin1String name(kArtNames[i]);
            columns += columns.isEmpty() ? QStringLiteral("select ") : QStringLiteral(",");
            if (bytes && kArtText[i])
                columns += QStringLiteral("cast(") + name + QStringLiteral(" as blob) as ") + name;
            else
                columns += name;
        }
        connection.Sql = columns + QLatin1Char(' ') + statement.mid(star.size());
        try {
            const bool found = connection.CrearFilas(articles.names, articles.rows);
            connection.Sql = statement;
            return found;
        } catch (const PlanexoError &) {
        }
    }
    connection.Sql = statement;
    return connection.CrearFilas(articles.names, articles.rows);
}

long long TransferDriver::execute(DataConnection &connection, const QString &statement)
{
    if (m_observer) m_observer(statement);
    connection.Sql = statement;
    return connection.Ejecutar();
}

QString TransferDriver::allArticles(const QString &shipment)
{
    return QStringLiteral("select * from ART where INTNRO = ") + sql::text(shipment) +
           QStringLiteral(" order by ARTORD");
}

TransferDriver::~TransferDriver() = default;

void TransferDriver::FRM3_Tranferir()
{
    const QString &shipment = m_state.sInternoActual;
    // The articles read once for both steps, only while the shipment is held.
    struct ReadOnce {
        TransferDriver &d;
        ~ReadOnce()
        {
            d.m_readOnce = false;
            d.m_allArticles.reset();
        }
    } readOnce{*this};
    // Another instance working on the shipment: say so and change nothing.
    ShipmentLock lock;
    const ShipmentLock::Result held = m_state.gestor && m_state.gestor->isOpen()
                                          ? lock.acquire(m_state.gestor->databaseFile(), shipment)
                                          : ShipmentLock::Result::Unavailable;
    if (held == ShipmentLock::Result::HeldElsewhere) {
        interaction().message(ShipmentLock::busyMessage(shipment), Icon::Exclamation);
        return;
    }
    m_readOnce = held == ShipmentLock::Result::Acquired;
    QString items = QStringLiteral("0");
    try {
        m_progress.setCaption(QStringLiteral("Validando datos..."));
        if (!FRAM3_Transfer_A_Validar()) return;

        m_progress.setCaption(QStringLiteral("Transfiriendo al Calvera Windows..."));
        m_progress.setBarVisible(true);
        if (!FRAM3_Transfer_B_Pasaje()) return;

        m_progress.setCaption(QStringLiteral("Actualizando catalogo..."));
        if (!FRAM3_Transfer_C_ActualCAT()) return;

        Recordset rs;
        if (query(calvera(),
                  QStringLiteral("select count(interno) as Total from subitems where interno = ") +
                      sql::text(shipment),
                  rs)) {
            const QVariant total = rs.Fields(QStringLiteral("total"));
            items = m_state.fmt->EsNull(total);
            if (m_state.fmt->EsNumero(total) > 0)
                interaction().message(QStringLiteral("Se transfirio ") + m_state.fmt->EsNull(total) +
                                          QStringLiteral(" articulos en el interno ") + shipment,
                                      Icon::Information);
            else
                interaction().message(QStringLiteral("ERROR: No se transfirio los articulos en el interno ") +
                                          shipment,
                                      Icon::Exclamation);
        }
        m_progress.setCaption(QStringLiteral("Fin de proceso"));
        m_progress.setBarVisible(false);
    } catch (const PlanexoError &e) {
        interaction().message(standardMessage(e, QStringLiteral(" - seccion [Planexo.FRAM3_Transferir]")),
                              Icon::None);
        return;
    }
    // One history row per transfer that ran to its end, with Calvera's item count.
    try {
        history::recordRun(*m_state.gestor, shipment, history::kTransfer,
                           QStringLiteral("Articulos en Calvera ") + items);
    } catch (const PlanexoError &) {
        // The transfer is done and reported; a history the database refuses changes nothing of it.
    }
}

bool TransferDriver::FRAM3_Transfer_A_Validar()
{
    try {
        requireComponents();
        Recordset rs;
        if (!query(*m_state.gestor,
                   QStringLiteral("select count(INTNRO) as Cant from ART where INTNRO = ") +
                       sql::text(m_state.sInternoActual) +
                       QStringLiteral(" and (PRCCRC <> 'OK' or PRCCRC is null)"),
                   rs))
            return false;
        if (m_state.fmt->EsNumero(rs.Fields(QStringLiteral("Cant"))) == 0) return true;
        interaction().message(
            QStringLiteral("Hay registros para depurar.\r\n\r\nHaga click en el boton \"DATOS CON ERRORES\""),
            Icon::Exclamation);
        return false;
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain_FRAM3_Transfer_A_Validar]")),
            Icon::Critical);
        return false;
    }
}

CalveraCommand TransferDriver::subitemsInsert(const ArticleRows &a, qsizetype r) const
{
    const cFMTX::PRINC &fmt = *m_state.fmt;
    const auto f = [&a, r](Art field) -> const QVariant & { return a.at(r, field); };
    CalveraCommand c(kSubitemsInsert);
    c.text(f(ARTNRO)).text(m_state.INTCAT).text(f(ARTDSC)).text(f(DESCRIPCION_MARIA));
    c.text(m_state.sInternoActual).text(f(PRCNCM)).text(f(PRCDUN));
    addNumber(c, f(ARTCAN));
    addUnitPrice(c, f(ARTTOT), f(ARTCAN));
    c.text(f(ARTORG));
    addFormatted(c, fmt.EsNumero(f(ARTTKG)), QStringLiteral("0.00"));
    addFormatted(c, f(ARTTOT), QStringLiteral("00.00"));
    c.text(f(PRCESM)).text(f(PRCEUN));
    addNumber(c, fmt.EsNumero(f(PRCECA)));
    c.text(f(PRCSUF)).text(f(PRCLAP));
    addNumber(c, fmt.EsNumero(f(PRCSCA)));
    addNumber(c, fmt.EsNumero(f(ARTKGB)));
    c.text(f(PRCSUN));
    return c;
}

bool TransferDriver::FRAM3_Transfer_B_Pasaje()
{
    const QString &shipment = m_state.sInternoActual;
    try {
        requireComponents();
        DataConnection &cal = calvera();
        Recordset rs;
        if (query(cal, QStringLiteral("select interno from caratula where interno = ") + sql::text(shipment),
                  rs)) {
            if (interaction().message(QStringLiteral("El interno [ ") + shipment +
                                          QStringLiteral(" ] ya existe.\r\n\r\nDesea reemplazarlo?"),
                                      Icon::Question,
                                      Interaction::Buttons::YesNo) != Interaction::Answer::Yes)
                return false;
            int step = 0;
            CalveraWrites deletes(cal, m_observer, step, CalveraWrites::capacityFor(cal));
            for (const char *table : {"caratula", "subitems", "facturas"})
                deletes.add(QStringLiteral("delete from ") + QLatin1String(table) +
                                QStringLiteral(" where interno = ") + sql::text(shipment),
                            0, [](long long) {});
            deletes.flush();
        }
        // The maximum first, so that the value always lies in the bar's range.
        m_progress.setMaximum(100);
        m_progress.setValue(1);
        execute(cal, QStringLiteral("insert into caratula (interno) values (") + sql::text(shipment) +
                         QLatin1Char(')'));

        ArticleRows articles;
        const QString select = QStringLiteral("select * from ART where INTNRO = ") + sql::text(shipment) +
                               QStringLiteral(" and PRCCRC = 'OK' order by ARTORD");
        if (m_readOnce) {
            // The catalogue update that follows reads every article of the shipment, which the
            // shipment's lock keeps as they are: read once, those checked OK go to Calvera's items.
            auto all = std::make_unique<ArticleRows>();
            query(*m_state.gestor, select, *all, allArticles(shipment));
            articles.names = all->names;
            for (qsizetype row = 0; row < all->rows.size(); ++row)
                if (all->checkedOk(row)) articles.rows.push_back(all->rows[row]);
            m_allArticles = std::move(all);
            if (articles.rows.isEmpty()) return false;
        } else if (!query(*m_state.gestor, select, articles)) {
            return false;
        }
        m_progress.setMaximum(int(articles.rows.size()));
        int step = 0;
        CalveraWrites writes(cal, m_observer, step,
                             CalveraWrites::capacityFor(cal, QStringLiteral("subitems")));
        for (qsizetype row = 0; row < articles.rows.size(); ++row) {
            CalveraCommand insert;
            try {
                insert = subitemsInsert(articles, row);
            } catch (...) {
                writes.flush(); // the items before this one stay
                throw;
            }
            const int position = int(row) + 1;
            writes.add(std::move(insert), 0, [this, position](long long affected) {
                if (affected == 0)
                    throw PlanexoError(
                        1,
                        QStringLiteral("Error Grabando registro en Calvera Windows: 0 Registros agregados"),
                        QStringLiteral("Transfiriendo a Calvera"));
                m_progress.setValue(position);
            });
        }
        writes.flush();
        return true;
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]")),
            Icon::Critical);
        return false;
    }
}

QString TransferDriver::fecha(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    const QTime second(time.hour(), time.minute(), time.second());
    if (m_fecha.isNull() || date != m_fechaDate || second != m_fechaTime) {
        m_fecha = m_state.enlace->getDateFormatbyEntity(QStringLiteral("CATALOGOS"), when);
        m_fechaDate = date;
        m_fechaTime = second;
    }
    return m_fecha;
}

CalveraCommand TransferDriver::catalogueUpdate(const ArticleRows &a, qsizetype r, const QDateTime &when)
{
    const auto f = [&a, r](Art field) -> const QVariant & { return a.at(r, field); };
    m_step = 100;
    // The assignments present make the statement's shape, and its key.
    QString key(16, QLatin1Char('-'));
    CalveraCommand c{QString()};
    const auto optional = [&](int step, int bit, Art field, bool isNumber) {
        m_step = step;
        if (isBlank(f(field))) return;
        m_step = step + 10;
        key[bit] = QLatin1Char('+');
        if (isNumber)
            addNumber(c, f(field));
        else
            c.text(f(field));
    };
    optional(110, 0, ARTDSC, false);
    m_step = 130;
    m_step = 140;
    addNumber(c, f(ARTUNI));
    m_step = 150;
    optional(160, 1, PRCNCM, false);
    optional(180, 2, PRCLAP, false);
    optional(200, 3, PRCSUF, false);
    optional(220, 4, PRCDUN, false);
    optional(240, 5, PRCEUN, false);
    optional(260, 6, PRCECA, true);
    optional(280, 7, PRCESM, false);
    optional(300, 8, PRCSUN, false);
    optional(320, 9, PRCSCA, true);
    optional(340, 10, DESCRIPCION_MARIA, false);
    optional(360, 11, ARTORG, false);
    m_step = 380;
    if (m_signature.isNull()) m_signature = signature();
    c.text(m_signature);
    m_step = 390;
    const QString date = fecha(when);
    // A date written as a quoted text is bound; any other literal is part of the shape.
    const bool bound = quotedText(date);
    if (bound)
        c.literal(date);
    else
        key += date;
    QString &shape = m_updateShapes[key];
    if (shape.isNull()) {
        static const char *const columns[] = {"ncm",         "lapi",
                                              "sufijos",     "idunidad",
                                              "estadistica", "valorrelacionestadistica",
                                              "EstadoMerc",  "deresp",
                                              "valorderesp", "descripcion_maria",
                                              "idpais"};
        QString s = QStringLiteral("update CATARTICULOS set ");
        if (key[0] == QLatin1Char('+')) s += QStringLiteral("descripcion = ?,");
        s += QStringLiteral("cantidad = 0,Preciounitario = ?,");
        for (int bit = 1; bit <= 11; ++bit)
            if (key[bit] == QLatin1Char('+')) s += QLatin1String(columns[bit - 1]) + QStringLiteral(" = ?,");
        s += QStringLiteral("usuario = ?,fecha = ") + (bound ? QStringLiteral("?") : date) + QLatin1Char(' ');
        modGlobal::QuitarComaFinal(s);
        s += QStringLiteral(" where idcatalogo = ? and idarticulo = ?");
        shape = s;
    }
    m_step = 400;
    m_step = 410;
    m_step = 420;
    c.text(m_state.INTCAT);
    m_step = 430;
    c.text(f(ARTNRO));
    c.setShape(shape);
    return c;
}

CalveraCommand TransferDriver::catalogueInsert(const ArticleRows &a, qsizetype r)
{
    const auto f = [&a, r](Art field) -> const QVariant & { return a.at(r, field); };
    m_step = 460;
    CalveraCommand c(kCatalogueInsert);
    m_step = 470;
    c.text(m_state.INTCAT);
    m_step = 480;
    c.text(f(ARTNRO));
    m_step = 490;
    c.text(f(ARTDSC));
    m_step = 500;
    c.text(f(PRCORI));
    m_step = 510;
    c.number(number(0));
    m_step = 520;
    addUnitPrice(c, f(ARTTOT), f(ARTCAN));
    m_step = 530;
    c.text(f(PRCNCM));
    m_step = 540;
    c.text(f(PRCLAP));
    m_step = 550;
    c.text(f(PRCSUF));
    m_step = 560;
    c.text(f(PRCDUN));
    m_step = 570;
    c.text(f(PRCEUN));
    m_step = 580;
    addNumber(c, f(PRCECA));
    m_step = 590;
    c.text(f(PRCESM));
    m_step = 600;
    c.text(f(PRCSUN));
    m_step = 610;
    addNumber(c, f(PRCSCA));
    return c;
}

void TransferDriver::readCatalogueAhead(DataConnection &cal, const QStringList &codes, qsizetype from,
                                        int count, QHash<QString, bool> &inCatalogue)
{
    QList<QStringList> keys;
    QSet<QString> asked;
    for (qsizetype i = from; i < codes.size() && keys.size() < count; ++i) {
        if (inCatalogue.contains(codes[i]) || asked.contains(codes[i])) continue;
        asked.insert(codes[i]);
        keys << QStringList{codes[i]};
    }
    Recordset rs;
    const QString lookup = cal.Sql;
    const QString join = QStringLiteral(" join catarticulos c on c.idcatalogo = ") +
                         sql::text(m_state.INTCAT) + QStringLiteral(" and c.idarticulo = k.");
    bool read = false;
    if (cal.dialect().engine() == Dialect::Engine::SQLite) {
        // SQLite reads the codes from one JSON text much faster than it parses a table of values.
        QStringList codesAsked;
        for (const QStringList &key : keys)
            codesAsked << key.first();
        cal.Sql = QStringLiteral("select distinct k.value as clave from json_each(") +
                  sql::text(DataConnection::jsonArray(codesAsked)) +
                  QStringLiteral(") k") + join + QStringLiteral("value");
        try {
            cal.CrearRs(rs);
            read = true;
        } catch (const PlanexoError &) {
            // An engine built without JSON: the table of values below.
        }
    }
    if (!read) {
        cal.Sql = QStringLiteral("select distinct k.column1 as clave from ") + sql::valuesTable(keys) +
                  QStringLiteral(" k") + join + QStringLiteral("column1");
        cal.CrearRs(rs);
    }
    cal.Sql = lookup;
    for (const QString &code : asked)
        inCatalogue.insert(code, false);
    for (; !rs.Eof(); rs.MoveNext())
        inCatalogue.insert(rs.Fields(QStringLiteral("clave")).toString(), true);
}

bool TransferDriver::FRAM3_Transfer_C_ActualCAT()
{
    m_step = 10;
    bool result = false;
    try {
        requireComponents();
        m_step = 20;
        m_progress.setMaximum(100);
        m_step = 30;
        m_progress.setValue(1);
        m_step = 40;
        ArticleRows articles;
        const QString select = allArticles(m_state.sInternoActual);
        m_step = 50;
        if (m_allArticles) {
            if (m_observer) m_observer(select);
            articles = std::move(*m_allArticles);
            m_allArticles.reset();
            if (articles.rows.isEmpty()) return false;
        } else if (!query(*m_state.gestor, select, articles)) {
            return false;
        }
        m_step = 60;
        m_progress.setMaximum(int(articles.rows.size()));
        m_step = 70;
        DataConnection &cal = calvera();
        const int capacity = CalveraWrites::capacityFor(cal);
        CalveraWrites writes(cal, m_observer, m_step, capacity);
        // On SQLite the whole batch of writes goes in one transaction: its codes are read in one go.
        const int codesPerRead = cal.dialect().engine() == Dialect::Engine::SQLite ? capacity : 100;
        m_signature = QString();
        QStringList codes;
        codes.reserve(articles.rows.size());
        for (qsizetype row = 0; row < articles.rows.size(); ++row)
            codes << articles.at(row, ARTNRO).toString();
        QHash<QString, bool> inCatalogue;
        for (qsizetype row = 0; row < articles.rows.size(); ++row) {
            const QString &code = codes[row];
            try {
                m_step = 80;
                m_step = 90;
                if (!inCatalogue.contains(code)) writes.flush(); // the lookup sees every earlier write
                if (m_observer) {
                    const QString lookup =
                        QStringLiteral("select idarticulo from catarticulos where idcatalogo = ") +
                        sql::text(m_state.INTCAT) + QStringLiteral(" and idarticulo = ") +
                        sql::text(articles.at(row, ARTNRO));
                    m_observer(lookup);
                    cal.Sql = lookup;
                }
                if (!inCatalogue.contains(code))
                    readCatalogueAhead(cal, codes, row, codesPerRead, inCatalogue);
                CalveraCommand statement;
                int runStep = 0;
                CalveraWrites::Recover recover;
                if (inCatalogue.value(code)) {
                    statement = catalogueUpdate(articles, row, m_clock());
                    runStep = 450;
                } else {
                    statement = catalogueInsert(articles, row);
                    runStep = 630;
                    inCatalogue[code] = true; // later lines of the same article update it
                    // Another workstation may add the article between the lookup and the insert: the
                    // row exists then, so it gets the update that the lookup would have chosen.
                    recover = [this, &cal, &articles, row] {
                        if (!cal.lastFailureWasDuplicateKey()) return false;
                        const int step = m_step;
                        QString update;
                        try {
                            update = catalogueUpdate(articles, row, m_clock()).sql();
                        } catch (const PlanexoError &) {
                            // Without its update the refused insert stands as the failure.
                            m_step = step;
                            return false;
                        }
                        m_step = 450;
                        execute(cal, update);
                        return true;
                    };
                }
                m_step = runStep;
                const int position = int(row) + 1;
                writes.add(
                    std::move(statement), runStep,
                    [this, position](long long) { m_progress.setValue(position); }, std::move(recover));
            } catch (...) {
                // The articles before this one are written first; a failure among them comes first.
                const int step = m_step;
                writes.flush();
                m_step = step;
                throw;
            }
            m_step = 660;
        }
        writes.flush();
        m_step = 670;
        result = true;
    } catch (const PlanexoError &e) {
        interaction().message(
            standardMessage(e, QStringLiteral(" - seccion [Planexo.frmMain_FRAM3_Transfer_C_ActualCAT] L") +
                                   QString::number(m_step)),
            Icon::None);
        return false;
    }
    return result;
}
