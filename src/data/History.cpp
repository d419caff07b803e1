#include "data/History.h"

#include "data/DataConnection.h"
#include "data/SystemUser.h"

#include <QDateTime>
#include <QSysInfo>

namespace history {

namespace {

// The same text as db/work_schema.sql, so that an added table reads as a shipped one.
const char *const kTable = "CREATE TABLE HIST (\n"
                           "    HISID INTEGER PRIMARY KEY,\n"
                           "    INTNRO TEXT NOT NULL,\n"
                           "    HISORD INTEGER,\n"
                           "    HISCOL TEXT NOT NULL,\n"
                           "    HISANT TEXT,\n"
                           "    HISNUE TEXT,\n"
                           "    HISORI TEXT NOT NULL,\n"
                           "    HISUSR TEXT NOT NULL,\n"
                           "    HISPUE TEXT NOT NULL,\n"
                           "    HISFEC TEXT NOT NULL\n"
                           ") STRICT";
const char *const kIndex = "CREATE INDEX HIST_INTNRO ON HIST (INTNRO, HISORD)";

const QString kInsert =
    QStringLiteral("insert into HIST (INTNRO, HISORD, HISCOL, HISANT, HISNUE, HISORI, HISUSR, "
                   "HISPUE, HISFEC) values (?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString kColumns = QStringLiteral(
    "select INTNRO, HISORD, HISCOL, HISANT, HISNUE, HISORI, HISUSR, HISPUE, HISFEC from HIST ");

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVector<Entry> entries(const QVector<QVector<QVariant>> &rows)
{
    QVector<Entry> out;
    out.reserve(rows.size());
    for (const QVector<QVariant> &r : rows) {
        Entry e;
        e.shipment = r[0].toString();
        if (!r[1].isNull()) e.order = r[1].toInt();
        e.column = r[2].toString();
        e.before = r[3].toString();
        e.after = r[4].toString();
        e.origin = r[5].toString();
        e.user = r[6].toString();
        e.workstation = r[7].toString();
        e.when = r[8].toString();
        out.push_back(e);
    }
    return out;
}

} // namespace

void ensureTable(DataConnection &db)
{
    const auto rows = db.rows(Statement(
        QStringLiteral("select count(*) from sqlite_master where type = 'table' and name = 'HIST'")));
    if (!rows.isEmpty() && rows[0][0].toInt() > 0) return;
    const QString kept = db.Sql;
    for (const char *statement : {kTable, kIndex}) {
        db.Sql = QString::fromLatin1(statement);
        db.Ejecutar();
    }
    db.Sql = kept;
}

QVariant asText(const QVariant &value)
{
    if (value.isNull()) return QVariant(QMetaType::fromType<QString>());
    if (value.typeId() == QMetaType::Double) return QString::number(value.toDouble(), 'g', 15);
    return value.toString();
}

void recordChanges(DataConnection &db, const QString &shipment, int order, const QVector<Change> &changes,
                   const QString &origin)
{
    if (changes.isEmpty()) return;
    const QString user = login(), station = workstation(), when = now();
    for (const Change &c : changes)
        db.run(Statement(kInsert, {shipment, order, c.column, asText(c.before), asText(c.after), origin, user,
                                   station, when}));
}

void recordRun(DataConnection &db, const QString &shipment, const QString &what, const QString &counts)
{
    db.run(Statement(kInsert, {shipment, QVariant(QMetaType::fromType<int>()), what,
                               QVariant(QMetaType::fromType<QString>()), counts, what, login(), workstation(),
                               now()}));
}

QVector<Entry> forRecord(DataConnection &db, const QString &shipment, int order)
{
    return entries(
        db.rows(Statement(kColumns + QStringLiteral("where INTNRO = ? and HISORD = ? order by HISID desc"),
                          {shipment, order})));
}

QVector<Entry> forShipment(DataConnection &db, const QString &shipment)
{
    return entries(
        db.rows(Statement(kColumns + QStringLiteral("where INTNRO = ? order by HISID desc"), {shipment})));
}

void removeShipment(DataConnection &db, const QString &shipment)
{
    db.run(Statement(QStringLiteral("delete from HIST where INTNRO = ?"), {shipment}));
}

QString login()
{
    return systemuser::login();
}

QString workstation()
{
    const QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? QStringLiteral("(Desconocido)") : name;
}

} // namespace history
