#include "review/RecordEdit.h"

#include "data/History.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "data/clPRINC.h"
#include "shared/Interaction.h"
#include "shared/SharedState.h"

#include <QHash>

namespace recordedit {

QString pointed(QString position)
{
    return position.replace(QLatin1Char(','), QLatin1Char('.'));
}

bool wellFormed(const QString &position)
{
    return position.size() > 13 && position.size() < 16;
}

std::optional<Article> load(SharedState &s, const QString &tag)
{
    Recordset rs;
    s.gestor->Sql = QStringLiteral("select * from ART where INTNRO = ") + sql::text(s.sInternoActual) +
                    QStringLiteral(" and ARTORD = ") + sql::number(vb::cdbl(tag));
    if (!s.gestor->CrearRs(rs))
        return std::nullopt;
    const auto text = [&](const char *field) { return s.fmt->EsNull(rs.Fields(QLatin1String(field))); };
    const auto amount = [&](const char *field) {
        return vb::format(s.fmt->EsNumero(rs.Fields(QLatin1String(field))), QStringLiteral("00.00"));
    };
    Article a;
    a.ARTNRO = text("ARTNRO");
    a.ARTDSC = text("ARTDSC");
    a.ARTORG = text("ARTORG");
    a.ARTCAN = amount("ARTCAN");
    a.ARTUNI = amount("ARTUNI");
    a.ARTTOT = amount("ARTTOT");
    a.DESCRIPCION_MARIA = text("DESCRIPCION_MARIA");
    a.PRCNCM = pointed(text("PRCNCM"));
    a.PRCSUF = text("PRCSUF");
    a.PRCDUN = text("PRCDUN");
    a.PRCECA = amount("PRCECA");
    a.PRCESM = text("PRCESM");
    a.PRCEUN = text("PRCEUN");
    a.PRCSUN = text("PRCSUN");
    a.PRCSCA = amount("PRCSCA");
    a.PRCCRC = text("PRCCRC");
    a.PRCLAP = text("PRCLAP");
    return a;
}

QVector<Country> countries(SharedState &s)
{
    QVector<Country> list;
    Recordset rs;
    s.gestor->Sql = QStringLiteral("select * from pais order by descripcion");
    if (s.gestor->CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext())
            list.push_back({s.fmt->EsNull(rs.Fields(QStringLiteral("id"))),
                            s.fmt->EsNull(rs.Fields(QStringLiteral("Descripcion")))});
    }
    return list;
}

std::optional<Position> findPosition(SharedState &s, const QString &position)
{
    DataConnection &ncm = s.enlace->getDataConnectionByEntity(QStringLiteral("NCM"));
    const Dialect &d = ncm.dialect();
    const auto col = [&](const char *name) { return d.column(QLatin1String(name)); };
    ncm.Sql = QStringLiteral("select ") + col("001") + QLatin1Char(',') + col("002") + QLatin1Char(',') + col("003") +
              QLatin1Char(',') + col("012") + QStringLiteral(" as uest ,") + col("059") +
              QStringLiteral(" as lapi from NCM where ") + QStringLiteral(" ") + col("001") + QStringLiteral(" = ") +
              sql::text(position.left(10)) + QStringLiteral(" and ") + col("002") + QStringLiteral(" = ") +
              sql::text(position.mid(11, 3)) + QStringLiteral("  and ") + col("003") + QStringLiteral(" = ") +
              sql::text(position.right(1));
    Recordset rs;
    if (!ncm.CrearRs(rs))
        return std::nullopt;
    const auto field = [&](const char *name) { return s.fmt->EsNull(rs.Fields(QLatin1String(name))); };
    Position p;
    p.unit = vb::format(field("uest"), QStringLiteral("00"));
    p.found = field("001") + QLatin1Char('.') + field("002") + field("003");
    p.lapi = !field("lapi").isEmpty();
    return p;
}

std::optional<Refusal> check(SharedState &s, Draft &draft, oCHKX::clPRINC &checker)
{
    const auto refuse = [](const QString &text, Interaction::Icon icon = Interaction::Icon::Exclamation) {
        return std::optional<Refusal>(Refusal{text, icon});
    };
    try {
        // The statistical unit belongs to the position it was taken for: a position changed in the
        // box since then has to be processed again.
        if (draft.unit.isEmpty() || pointed(draft.position) != draft.processedPosition)
            return refuse(QStringLiteral("Falta información sobre la posición arancelaria."));
        if (vb::trim(draft.declaredUnit).isEmpty())
            return refuse(QStringLiteral("Falta ingresar unidad declarada"));
        if (draft.declaredUnit == draft.unit) {
            const double quantity = s.fmt->EsNumero(draft.statisticalQuantity);
            if (quantity == 0)
                draft.statisticalQuantity = draft.quantity;
            else if (s.fmt->EsNumero(draft.quantity) != quantity)
                return refuse(QStringLiteral("La Cantidad Declarada debe ser igual a la Cantidad Especifica"));
        }
        if (!vb::isNumeric(draft.goodsState.trimmed()))
            return refuse(QStringLiteral("Estado de mercaderia inválida"), Interaction::Icon::Critical);
        const int result = checker.ValidarSufijos(pointed(draft.position), draft.suffixes);
        if (result == 1)
            return refuse(QStringLiteral("La posición es Inexistente!"));
        if (result == 2)
            return refuse(QStringLiteral("Sufijos inválidos"));
        return std::nullopt;
    } catch (const PlanexoError &e) {
        return refuse(standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_VerificarDatos]")),
                      Interaction::Icon::Critical);
    }
}

bool verify(SharedState &s, Draft &draft)
{
    std::optional<Refusal> refusal;
    try {
        oCHKX::clPRINC checker;
        checker.ConexionString(*s.enlace);
        refusal = check(s, draft, checker);
    } catch (const PlanexoError &e) {
        refusal = Refusal{standardMessage(e, QStringLiteral(" - seccion [Planexo.frmModificar_VerificarDatos]")),
                          Interaction::Icon::Critical};
    }
    if (!refusal) return true;
    interaction().message(refusal->text, refusal->icon);
    return false;
}

namespace {

// The columns the save statement may write, as the history names them.
const QStringList kSaved = {QStringLiteral("PRCNCM"), QStringLiteral("PRCLAP"),  QStringLiteral("PRCSUF"),
                            QStringLiteral("PRCDUN"), QStringLiteral("PRCEUN"),  QStringLiteral("PRCECA"),
                            QStringLiteral("PRCSUN"), QStringLiteral("PRCSCA"),  QStringLiteral("DESCRIPCION_MARIA"),
                            QStringLiteral("PRCESM"), QStringLiteral("ARTORG"), QStringLiteral("PRCEST"),
                            QStringLiteral("PRCCRC")};

QVector<QVariant> stored(DataConnection &db, const QString &shipment, double order)
{
    static const QString statement = QStringLiteral("select ") + kSaved.join(QStringLiteral(", ")) +
                                     QStringLiteral(" from ART where INTNRO = ? and ARTORD = ?");
    const auto rows = db.rows(Statement(statement, {shipment, order}));
    return rows.isEmpty() ? QVector<QVariant>() : rows.first();
}

} // namespace

bool save(SharedState &s, const Draft &draft, const QString &tag, const QString &origin)
{
    const auto value = [](const QString &column, const QString &literal) {
        return column + QStringLiteral(" = ") + literal + QStringLiteral(", ");
    };
    QString st = QStringLiteral("update ART set ");
    st += value(QStringLiteral("PRCNCM"), sql::text(pointed(draft.position)));
    st += value(QStringLiteral("PRCLAP"), sql::text(draft.lapi));
    st += value(QStringLiteral("PRCSUF"), sql::text(draft.suffixes));
    st += value(QStringLiteral("PRCDUN"), sql::text(draft.declaredUnit));
    st += value(QStringLiteral("PRCEUN"), sql::text(draft.unit));
    st += value(QStringLiteral("PRCECA"), sql::numberFromText(draft.statisticalQuantity));
    if (draft.hasSpecificDuty) {
        st += value(QStringLiteral("PRCSUN"), sql::text(draft.specificUnit));
        st += value(QStringLiteral("PRCSCA"), sql::numberFromText(draft.specificQuantity));
    }
    if (!draft.descripcionMaria.trimmed().isEmpty())
        st += value(QStringLiteral("DESCRIPCION_MARIA"), sql::text(draft.descripcionMaria));
    st += value(QStringLiteral("PRCESM"), sql::text(draft.goodsState));
    // No country chosen: the stored origin stays.
    if (draft.country)
        st += value(QStringLiteral("ARTORG"), sql::text(*draft.country));
    st += QStringLiteral("PRCEST = 'M', PRCCRC = 'OK' where ARTORD = ") + sql::number(vb::cdbl(tag)) +
          QStringLiteral(" and INTNRO = ") + sql::text(s.sInternoActual) + QStringLiteral(" ");
    const double order = vb::cdbl(tag);
    const QVector<QVariant> before = stored(*s.gestor, s.sInternoActual, order);
    s.gestor->Sql = st;
    if (s.gestor->Ejecutar() <= 0) return false;
    const QVector<QVariant> after = stored(*s.gestor, s.sInternoActual, order);
    QVector<history::Change> changes;
    for (qsizetype i = 0; i < after.size() && i < before.size(); ++i) {
        const QVariant was = history::asText(before[i]), is = history::asText(after[i]);
        if (was.isNull() != is.isNull() || was.toString() != is.toString())
            changes.push_back({kSaved[i], before[i], after[i]});
    }
    history::recordChanges(*s.gestor, s.sInternoActual, int(order), changes, origin);
    return true;
}

QString fieldCaption(const QString &column)
{
    static const QHash<QString, QString> captions = {
        {QStringLiteral("PRCNCM"), QStringLiteral("Posición")},
        {QStringLiteral("PRCLAP"), QStringLiteral("LAPI")},
        {QStringLiteral("PRCSUF"), QStringLiteral("Sufijos")},
        {QStringLiteral("PRCDUN"), QStringLiteral("Unidad Declarada")},
        {QStringLiteral("PRCECA"), QStringLiteral("Unidad Estadistica")},
        {QStringLiteral("PRCEUN"), QStringLiteral("Unidad Estadistica [ ]")},
        {QStringLiteral("PRCSCA"), QStringLiteral("Derecho Especifico")},
        {QStringLiteral("PRCSUN"), QStringLiteral("Derecho Especifico [ ]")},
        {QStringLiteral("DESCRIPCION_MARIA"), QStringLiteral("Descripción Maria")},
        {QStringLiteral("PRCESM"), QStringLiteral("Estado Mercaderia")},
        {QStringLiteral("ARTORG"), QStringLiteral("Pais Origen")},
        {QStringLiteral("PRCEST"), QStringLiteral("Estado")},
        {QStringLiteral("PRCCRC"), QStringLiteral("CRC")},
    };
    return captions.value(column.toUpper(), column);
}

} // namespace recordedit
