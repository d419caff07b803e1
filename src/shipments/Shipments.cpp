#include "shipments/Shipments.h"

#include "data/History.h"
#include "data/PRINC.h"
#include "data/Recordset.h"
#include "data/SqlText.h"
#include "data/clGestor.h"
#include "shared/SharedState.h"

namespace shipments {

static QString text(const Recordset &rs, const QString &field)
{
    return cFMTX::PRINC().EsNull(rs.Fields(field));
}

QVector<Shipment> list(oAlm::clGestor &db)
{
    QVector<Shipment> result;
    Recordset rs;
    db.Sql = QStringLiteral("select * from INTN order by INTNRO");
    if (db.CrearRs(rs)) {
        for (; !rs.Eof(); rs.MoveNext())
            result.push_back({text(rs, QStringLiteral("INTNRO")), text(rs, QStringLiteral("INTDSC"))});
    }
    return result;
}

bool exists(oAlm::clGestor &db, const QString &number)
{
    Recordset rs;
    db.Sql = QStringLiteral("select INTNRO from INTN where INTNRO = ") + sql::text(number);
    return db.CrearRs(rs);
}

bool create(oAlm::clGestor &db, QString number, QString description)
{
    number.replace(QLatin1Char('\''), QLatin1Char(' '));
    description.replace(QLatin1Char('\''), QLatin1Char(' '));
    db.Sql = QStringLiteral("insert into INTN (INTNRO, INTDSC) values (") + sql::text(number) +
             QStringLiteral(",") + sql::text(description) + QStringLiteral(")");
    return db.Ejecutar() > 0;
}

bool remove(oAlm::clGestor &db, const QString &number)
{
    db.Sql = QStringLiteral("delete from ART where INTNRO = ") + sql::text(number);
    db.Ejecutar();
    history::removeShipment(db, number);
    db.Sql = QStringLiteral("delete from INTN where INTNRO = ") + sql::text(number);
    return db.Ejecutar() > 0;
}

double articleCount(SharedState &state, const QString &number)
{
    Recordset rs;
    state.gestor->Sql =
        QStringLiteral("select count(INTNRO) as Total from ART where INTNRO = ") + sql::text(number);
    if (!state.gestor->CrearRs(rs)) return -1;
    return state.fmt->EsNumero(rs.Fields(QStringLiteral("Total")));
}

} // namespace shipments
