// Commands sent several per round trip to a server. A multi-statement simple query runs its
// statements as one implicit transaction; each command is wrapped in its own BEGIN/COMMIT so that
// every command commits on its own, as when sent alone, and the server stops at the first error.
#include "DataConnection.h"

#include <QSqlDriver>
#include <QSqlError>

#ifdef PLANEXO_HAVE_LIBPQ
#include <libpq-fe.h>

namespace {

PGconn *pgConnection(const QString &connectionName)
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (!db.isOpen() || !db.driver()) return nullptr;
    const QVariant handle = db.driver()->handle();
    // The driver registers the handle under the struct's name.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.data());
}

// The error as the Qt driver reports a failing statement.
QSqlError statementError(const PGresult *result, PGconn *connection)
{
    QString text = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(connection));
    QString code;
    if (result) {
        code = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        text += QStringLiteral("(%1)").arg(code);
    }
    return QSqlError(QStringLiteral("QPSQL: Unable to create query"), text, QSqlError::StatementError, code);
}

} // namespace
#endif

bool DataConnection::sendsCommandsTogether() const
{
#ifdef PLANEXO_HAVE_LIBPQ
    if (!m_open || m_dialect.engine() != Dialect::Engine::PostgreSQL) return false;
    PGconn *connection = pgConnection(m_name);
    // Inside a batch the wrapping would end the open transaction.
    return connection && PQstatus(connection) == CONNECTION_OK &&
           PQtransactionStatus(connection) == PQTRANS_IDLE;
#else
    return false;
#endif
}

bool DataConnection::insertsAlwaysLand(const QString &table)
{
    if (!m_open || m_dialect.engine() != Dialect::Engine::PostgreSQL) return false;
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    const QString name = sql::text(table.toLower());
    if (!q.exec(
            QStringLiteral("select (select count(*) from pg_trigger t join pg_class c on c.oid = t.tgrelid "
                           "where lower(c.relname) = %1 and not t.tgisinternal) + (select count(*) from "
                           "pg_rules where lower(tablename) = %1)")
                .arg(name)) ||
        !q.next())
        fail(q.lastError(), QString());
    return q.value(0).toLongLong() == 0;
}

DataConnection::CommandsResult DataConnection::EjecutarVarios(const QStringList &commands)
{
    QList<Statement> statements;
    statements.reserve(commands.size());
    for (const QString &command : commands)
        statements << Statement(command);
    return runAll(statements);
}

DataConnection::CommandsResult DataConnection::runAll(const QList<Statement> &commands)
{
    CommandsResult result;
    // Only the libpq path below uses it; builds without libpq (Windows among them) do not.
    [[maybe_unused]] const auto capture = [&](const QSqlError &error, const QString &statement) {
        try {
            fail(error, statement);
        } catch (const PlanexoError &e) {
            result.error = e;
        }
    };
#ifdef PLANEXO_HAVE_LIBPQ
    if (commands.size() > 1 && sendsCommandsTogether()) {
        PGconn *connection = pgConnection(m_name);
        // Every command but the last commits without waiting for its flush to disk: the last one's
        // synchronous commit flushes the log up to itself, so when the batch's answer arrives every
        // command of it is as durable as if each had waited, for one flush instead of one each.
        QString joined;
        for (qsizetype i = 0; i < commands.size(); ++i)
            joined += QStringLiteral("BEGIN;SET LOCAL synchronous_commit TO ") +
                      (i + 1 < commands.size() ? QStringLiteral("OFF;") : QStringLiteral("DEFAULT;")) +
                      commands[i].literal() + QStringLiteral(";COMMIT;");
        if (!PQsendQuery(connection, joined.toUtf8().constData())) {
            capture(statementError(nullptr, connection), commands.first().literal());
            return result;
        }
        // Four results per command: BEGIN, SET, the command, COMMIT. After an error the server skips
        // the rest of the text. Every result is read before the failure is reported.
        int index = 0;
        long long affected = 0;
        std::optional<QSqlError> error;
        QString failed;
        while (PGresult *r = PQgetResult(connection)) {
            const ExecStatusType status = PQresultStatus(r);
            if (!error) {
                if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
                    if (index % 4 == 2) affected = QByteArray(PQcmdTuples(r)).toLongLong();
                    if (index % 4 == 3) result.affected << affected;
                } else {
                    error = statementError(r, connection);
                    failed = commands.value(index / 4).literal();
                }
            }
            PQclear(r);
            ++index;
        }
        if (!error && result.affected.size() < commands.size()) {
            error = statementError(nullptr, connection);
            failed = commands.value(int(result.affected.size())).literal();
        }
        if (PQstatus(connection) == CONNECTION_OK && PQtransactionStatus(connection) != PQTRANS_IDLE)
            PQclear(PQexec(connection, "ROLLBACK"));
        if (error) capture(*error, failed);
        return result;
    }
#endif
    for (const Statement &command : commands) {
        Sql = command.literal();
        try {
            result.affected << run(command);
        } catch (const PlanexoError &e) {
            result.error = e;
            break;
        }
    }
    return result;
}
