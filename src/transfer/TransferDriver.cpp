#include "TransferDriver.h"

#include "CalveraWrites.h"
#include "Version.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "data/DataConnection.h"
#include "data/PlanexoError.h"
#include "data/Recordset.h"
#include "data/ShipmentLock.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "modGlobal.h"

#include <QSet>

using Icon = Interaction::Icon;

namespace {

const QString kInternos = QStringLiteral("INTERNOS");

bool isBlank(const QVariant &value)
{
    return value.isNull() || !value.isValid() || vb::trim(value.toString()).isEmpty();
}

// A number for a statement from a value that setAnsi may reset.
QString number(QVariant value)
{
    return TransferDriver::setAnsi(value);
}

} // namespace

TransferDriver::TransferDriver(SharedState &state, Progress &progress)
    : m_state(state), m_progress(progress), m_clock([] { return QDateTime::currentDateTime(); })
{
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

long long TransferDriver::execute(DataConnection &connection, const QString &statement)
{
    if (m_observer) m_observer(statement);
    connection.Sql = statement;
    return connection.Ejecutar();
}

QString TransferDriver::text(const Recordset &rs, const char *field) const
{
    return sql::text(rs.Fields(QLatin1String(field)));
}

void TransferDriver::FRM3_Tranferir()
{
    const QString &shipment = m_state.sInternoActual;
    // Another instance working on the shipment: say so and change nothing.
    ShipmentLock lock;
    if (m_state.gestor && m_state.gestor->isOpen() &&
        lock.acquire(m_state.gestor->databaseFile(), shipment) == ShipmentLock::Result::HeldElsewhere) {
        interaction().message(ShipmentLock::busyMessage(shipment), Icon::Exclamation);
        return;
    }
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

QString TransferDriver::subitemsInsert(const Recordset &rs) const
{
    const cFMTX::PRINC &fmt = *m_state.fmt;
    const auto f = [&rs](const char *name) { return rs.Fields(QLatin1String(name)); };
    const QStringList values = {
        text(rs, "ARTNRO"),
        sql::text(m_state.INTCAT),
        text(rs, "ARTDSC"),
        text(rs, "DESCRIPCION_MARIA"),
        sql::text(m_state.sInternoActual),
        text(rs, "PRCNCM"),
        text(rs, "PRCDUN"),
        number(f("ARTCAN")),
        number(unitPrice(f("ARTTOT"), f("ARTCAN"))),
        text(rs, "ARTORG"),
        number(vb::format(fmt.EsNumero(f("ARTTKG")), QStringLiteral("0.00"))),
        number(vb::format(f("ARTTOT"), QStringLiteral("00.00"))),
        text(rs, "PRCESM"),
        text(rs, "PRCEUN"),
        number(fmt.EsNumero(f("PRCECA"))),
        text(rs, "PRCSUF"),
        text(rs, "PRCLAP"),
        number(fmt.EsNumero(f("PRCSCA"))),
        number(fmt.EsNumero(f("ARTKGB"))),
        sql::text(QStringLiteral("N")),
        text(rs, "PRCSUN"),
    };
    return QStringLiteral(
               "insert into subitems (idarticulo,idcatalogo,descripcion,Descripcion_Maria,interno,ncm,"
               "IdUnidad,Cantidad,Preciounitario,IdPais,KGNETO,fob,EstadoMerc,estadistica,"
               "valorrelacionestadistica,sufijos,LAPI,valorderesp,kgbruto,biendeuso,deresp) values (") +
           values.join(QLatin1Char(',')) + QLatin1Char(')');
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

        if (!query(*m_state.gestor,
                   QStringLiteral("select * from ART where INTNRO = ") + sql::text(shipment) +
                       QStringLiteral(" and PRCCRC = 'OK' order by ARTORD"),
                   rs))
            return false;
        m_progress.setMaximum(rs.RecordCount());
        int step = 0;
        CalveraWrites writes(cal, m_observer, step,
                             CalveraWrites::capacityFor(cal, QStringLiteral("subitems")));
        while (!rs.Eof()) {
            QString insert;
            try {
                insert = subitemsInsert(rs);
            } catch (...) {
                writes.flush(); // the items before this one stay
                throw;
            }
            const int position = rs.AbsolutePosition();
            writes.add(insert, 0, [this, position](long long affected) {
                if (affected == 0)
                    throw PlanexoError(
                        1,
                        QStringLiteral("Error Grabando registro en Calvera Windows: 0 Registros agregados"),
                        QStringLiteral("Transfiriendo a Calvera"));
                m_progress.setValue(position);
            });
            rs.MoveNext();
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

QString TransferDriver::catalogueUpdate(const Recordset &rs, const QDateTime &when)
{
    const auto f = [&rs](const char *name) { return rs.Fields(QLatin1String(name)); };
    m_step = 100;
    QString s = QStringLiteral("update CATARTICULOS set ");
    // Each optional assignment takes two steps: the test and the text.
    const auto optionalText = [&](int step, const char *column, const char *field) {
        m_step = step;
        if (isBlank(f(field))) return;
        m_step = step + 10;
        s += QLatin1String(column) + QStringLiteral(" = ") + sql::text(f(field)) + QLatin1Char(',');
    };
    const auto optionalNumber = [&](int step, const char *column, const char *field) {
        m_step = step;
        if (isBlank(f(field))) return;
        m_step = step + 10;
        s += QLatin1String(column) + QStringLiteral(" = ") + number(f(field)) + QLatin1Char(',');
    };
    optionalText(110, "descripcion", "ARTDSC");
    m_step = 130;
    s += QStringLiteral("cantidad = 0,");
    m_step = 140;
    const QString price = number(f("ARTUNI"));
    m_step = 150;
    s += QStringLiteral("Preciounitario = ") + price + QLatin1Char(',');
    optionalText(160, "ncm", "PRCNCM");
    optionalText(180, "lapi", "PRCLAP");
    optionalText(200, "sufijos", "PRCSUF");
    optionalText(220, "idunidad", "PRCDUN");
    optionalText(240, "estadistica", "PRCEUN");
    optionalNumber(260, "valorrelacionestadistica", "PRCECA");
    optionalText(280, "EstadoMerc", "PRCESM");
    optionalText(300, "deresp", "PRCSUN");
    optionalNumber(320, "valorderesp", "PRCSCA");
    optionalText(340, "descripcion_maria", "DESCRIPCION_MARIA");
    optionalText(360, "idpais", "ARTORG");
    m_step = 380;
    s += QStringLiteral("usuario = ") + sql::text(signature()) + QLatin1Char(',');
    m_step = 390;
    s += QStringLiteral("fecha = ") +
         m_state.enlace->getDateFormatbyEntity(QStringLiteral("CATALOGOS"), when) + QLatin1Char(' ');
    m_step = 400;
    modGlobal::QuitarComaFinal(s);
    m_step = 410;
    s += QStringLiteral(" where ");
    m_step = 420;
    s += QStringLiteral("idcatalogo = ") + sql::text(m_state.INTCAT) + QStringLiteral(" and ");
    m_step = 430;
    s += QStringLiteral("idarticulo = ") + text(rs, "ARTNRO");
    return s;
}

QString TransferDriver::catalogueInsert(const Recordset &rs)
{
    const auto f = [&rs](const char *name) { return rs.Fields(QLatin1String(name)); };
    m_step = 460;
    QString s =
        QStringLiteral("insert into CATARTICULOS (idcatalogo, idarticulo, descripcion, idpais, cantidad, "
                       "Preciounitario, ncm, lapi, sufijos, idunidad, estadistica, "
                       "valorrelacionestadistica, estadomerc, deresp, valorderesp) values (");
    QStringList values;
    const auto add = [&](int step, const std::function<QString()> &value) {
        m_step = step;
        values << value();
    };
    add(470, [&] { return sql::text(m_state.INTCAT); });
    add(480, [&] { return text(rs, "ARTNRO"); });
    add(490, [&] { return text(rs, "ARTDSC"); });
    add(500, [&] { return text(rs, "PRCORI"); });
    add(510, [&] { return number(0); });
    add(520, [&] { return number(unitPrice(f("ARTTOT"), f("ARTCAN"))); });
    add(530, [&] { return text(rs, "PRCNCM"); });
    add(540, [&] { return text(rs, "PRCLAP"); });
    add(550, [&] { return text(rs, "PRCSUF"); });
    add(560, [&] { return text(rs, "PRCDUN"); });
    add(570, [&] { return text(rs, "PRCEUN"); });
    add(580, [&] { return number(f("PRCECA")); });
    add(590, [&] { return text(rs, "PRCESM"); });
    add(600, [&] { return text(rs, "PRCSUN"); });
    add(610, [&] { return number(f("PRCSCA")); });
    return s + values.join(QLatin1Char(',')) + QLatin1Char(')');
}

void TransferDriver::readCatalogueAhead(DataConnection &cal, const QStringList &codes, qsizetype from,
                                        QHash<QString, bool> &inCatalogue)
{
    constexpr int kCodesPerRead = 100;
    QList<QStringList> keys;
    QSet<QString> asked;
    for (qsizetype i = from; i < codes.size() && keys.size() < kCodesPerRead; ++i) {
        if (inCatalogue.contains(codes[i]) || asked.contains(codes[i])) continue;
        asked.insert(codes[i]);
        keys << QStringList{codes[i]};
    }
    Recordset rs;
    const QString lookup = cal.Sql;
    cal.Sql = QStringLiteral("select distinct k.column1 as clave from ") + sql::valuesTable(keys) +
              QStringLiteral(" k join catarticulos c on c.idcatalogo = ") + sql::text(m_state.INTCAT) +
              QStringLiteral(" and c.idarticulo = k.column1");
    cal.CrearRs(rs);
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
        Recordset rs;
        const QString select = QStringLiteral("select * from ART where INTNRO = ") +
                               sql::text(m_state.sInternoActual) + QStringLiteral(" order by ARTORD");
        m_step = 50;
        if (!query(*m_state.gestor, select, rs)) return false;
        m_step = 60;
        m_progress.setMaximum(rs.RecordCount());
        m_step = 70;
        DataConnection &cal = calvera();
        CalveraWrites writes(cal, m_observer, m_step, CalveraWrites::capacityFor(cal));
        QStringList codes;
        for (; !rs.Eof(); rs.MoveNext())
            codes << rs.Fields(QStringLiteral("ARTNRO")).toString();
        rs.MoveFirst();
        QHash<QString, bool> inCatalogue;
        while (!rs.Eof()) {
            const qsizetype index = rs.AbsolutePosition() - 1;
            const QString &code = codes[index];
            try {
                m_step = 80;
                const QString lookup =
                    QStringLiteral("select idarticulo from catarticulos where idcatalogo = ") +
                    sql::text(m_state.INTCAT) + QStringLiteral(" and idarticulo = ") + text(rs, "ARTNRO");
                m_step = 90;
                if (!inCatalogue.contains(code)) writes.flush(); // the lookup sees every earlier write
                if (m_observer) m_observer(lookup);
                cal.Sql = lookup;
                if (!inCatalogue.contains(code)) readCatalogueAhead(cal, codes, index, inCatalogue);
                QString statement;
                int runStep = 0;
                CalveraWrites::Recover recover;
                if (inCatalogue.value(code)) {
                    statement = catalogueUpdate(rs, m_clock());
                    runStep = 450;
                } else {
                    statement = catalogueInsert(rs);
                    runStep = 630;
                    inCatalogue[code] = true; // later lines of the same article update it
                    // Another workstation may add the article between the lookup and the insert: the
                    // row exists then, so it gets the update that the lookup would have chosen.
                    QString update;
                    try {
                        update = catalogueUpdate(rs, m_clock());
                    } catch (const PlanexoError &) {
                        // Without its update the refused insert stands as the failure.
                    }
                    recover = [this, &cal, update] {
                        if (update.isEmpty() || !cal.lastFailureWasDuplicateKey()) return false;
                        m_step = 450;
                        execute(cal, update);
                        return true;
                    };
                }
                m_step = runStep;
                const int position = rs.AbsolutePosition();
                writes.add(
                    statement, runStep, [this, position](long long) { m_progress.setValue(position); },
                    std::move(recover));
            } catch (...) {
                // The articles before this one are written first; a failure among them comes first.
                const int step = m_step;
                writes.flush();
                m_step = step;
                throw;
            }
            m_step = 660;
            rs.MoveNext();
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
