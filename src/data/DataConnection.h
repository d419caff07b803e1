#pragma once

#include "NativeSqlite.h"
#include "PlanexoError.h"
#include "Recordset.h"
#include "SqlText.h"
#include "Statement.h"

#include <QHashFunctions>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <memory>
#include <optional>
#include <map>
#include <unordered_map>
#include <vector>

// A database-access object: write Sql, then CrearRs (a query) or Ejecutar (a command).
class DataConnection {
public:
    DataConnection() = default;
    virtual ~DataConnection();
    DataConnection(const DataConnection &) = delete;
    DataConnection &operator=(const DataConnection &) = delete;

    // The statement API: every statement runs through run, rows or runAll.
    //
    // Runs a command; the number of rows it affected.
    long long run(const Statement &command);
    // Runs a query: its rows, each value in the statement's column order, and its column names when
    // asked for.
    QVector<QVector<QVariant>> rows(const Statement &query, QStringList *names = nullptr);
    // Several commands run as consecutive run calls would run them: in order, each committed on its
    // own, the first failure stopping the rest. On a PostgreSQL server they travel together, in one
    // round trip (as their literal text). `affected` holds the count of each command that ran to its
    // end.
    struct CommandsResult {
        QList<long long> affected;
        std::optional<PlanexoError> error;
    };
    CommandsResult runAll(const QList<Statement> &commands);

    // The database-access object's members, over the statement API.
    //
    // The statement that the next CrearRs, Ejecutar or CrearFilas runs.
    QString Sql;
    // Runs Sql as a query into rs, positioned on its first row; true when there is a row.
    bool CrearRs(Recordset &rs) { return intoRecordset(rs, Statement(Sql)); }
    // Runs Sql as a command; the number of rows it affected.
    long long Ejecutar() { return run(Statement(Sql)); }
    // Runs Sql as a query into field names and rows read by position. True when there is a row.
    bool CrearFilas(QStringList &names, QVector<QVector<QVariant>> &rows);
    // A statement with "?" placeholders and its values, prepared once per connection (Sql is not used).
    bool CrearRsPrepared(Recordset &rs, const QString &statement, const QVariantList &values)
    {
        return intoRecordset(rs, Statement(statement, values));
    }
    long long EjecutarPrepared(const QString &statement, const QVariantList &values)
    {
        return run(Statement(statement, values));
    }
    // A QByteArray value is a text in UTF-8, stored as the text it holds.
    long long EjecutarBound(const QString &statement, const QVariantList &values)
    {
        return run(Statement(statement, values, Statement::Form::Utf8));
    }
    QVector<QVector<QVariant>> selectRows(const QString &statement) { return rows(Statement(statement)); }
    QVector<QVector<QVariant>> selectRowsPrepared(const QString &statement, const QVariantList &values)
    {
        return rows(Statement(statement, values));
    }
    CommandsResult EjecutarVarios(const QStringList &commands);

    // Whether this SQLite database keeps its texts in UTF-8 (asked once): its texts then pass
    // between it and QByteArray values as they are stored.
    bool storesUtf8();
    // Texts as a JSON array of strings: a list of keys bound as one value, which SQLite's json_each
    // reads far faster than it parses the same keys written as literals.
    static QString jsonArray(const QStringList &texts);

    // True when runAll sends its commands together.
    bool sendsCommandsTogether() const;
    // False when a one-row insert into the table might change no row without failing (a trigger or a
    // rule may drop it), so that such inserts must be sent one at a time to stop at the first.
    bool insertsAlwaysLand(const QString &table);

    const Dialect &dialect() const { return m_dialect; }
    bool isOpen() const { return m_open; }
    // The SQLite file this connection opened (empty for a server).
    QString databaseFile() const { return m_file; }
    QString connectionName() const { return m_name; }

    // Batches writes of a long operation; commit keeps everything done so far, as without it.
    void beginBatch();
    void commitBatch();
    // Ends the batch without keeping its writes (after its commit failed, for instance).
    void rollbackBatch();

    // Opens a SQLite file that must already exist. Only the program's own work database is tuned
    // (WAL mode, or the rollback journal on a network folder; synchronous=FULL); another system's
    // database is used with its settings as they are. A file this process may not write opens
    // read-only, and the first write says so.
    enum class Tuning { Own, AsItIs };
    void openSqlite(const QString &connectionName, const QString &path, const QString &source,
                    Tuning tuning = Tuning::AsItIs);
    // What the last openSqlite has to tell the operator about how it opened the file (the work
    // database on a network folder uses the rollback journal); empty otherwise.
    QString notice() const { return m_notice; }
    // Opens any Qt SQL driver with the given parameters. On a server, failures name `where` (the
    // entities and the server's host and port) and never the password; a PostgreSQL connection gets a
    // connect timeout unless the options give one; a link that the server dropped is opened again by
    // the next statement (the failed one is not repeated).
    void openDriver(const QString &connectionName, const QString &driver, const QString &database,
                    const QString &host, int port, const QString &user, const QString &password,
                    const QString &options, const QString &source, const QString &where = {});
    void close();

    // Whether Utf8 statements run below Qt's layer (an SQLite file, on the library Qt's
    // driver calls).
    bool bindsBelowQt() const { return m_native != nullptr; }

    // Whether the last failure was the refusal of a row whose key already exists.
    bool lastFailureWasDuplicateKey() const { return m_duplicateKey; }

    // Seconds a PostgreSQL connection waits for the server before it gives up.
    static constexpr int kConnectTimeout = 5;

protected:
    QString m_source = QStringLiteral("DataConnection");

private:
    [[noreturn]] void fail(const class QSqlError &error, const QString &statement);
    bool intoRecordset(Recordset &rs, const Statement &query);
    QSqlQuery &prepared(const QString &statement, const QVariantList &values);
    long long runCommand(QSqlQuery &q, const QString &statement);
    // The three ways a command runs: as its text, prepared, prepared with UTF-8 texts.
    long long runText(const QString &statement);
    long long runPrepared(const QString &statement, const QVariantList &values);
    long long runUtf8(const QString &statement, const QVariantList &values);
    // A query given as its text, and one prepared.
    void queryText(const QString &statement, QStringList *names, QVector<QVector<QVariant>> &rows);
    void queryPrepared(const QString &statement, const QVariantList &values, QStringList *names,
                       QVector<QVector<QVariant>> &rows);
    // Throws when closed; opens a dropped server link again.
    void ensureOpen();
    // By value: callers pass m_name, which close() clears.
    void open(QString connectionName);

    struct Server {
        QString driver, database, host, user, password, options, where;
        int port = 0;
    };

    // The work database's writes of the open batch, kept so that the rows written before a failure
    // stay when the engine drops the whole transaction (a full disk, an I/O error at the commit):
    // they run again, each on its own, as without a batch.
    void logWrite(const Statement &command);
    // After a failed write in a batch: whether the engine dropped the batch's transaction.
    bool transactionDropped();
    // Runs the batch's logged writes again, each committed on its own; throws the first failure.
    void replayBatch();
    // A failed write of the work database in a batch: the rows before it are kept.
    void keepBatchAfterFailure();
    std::vector<Statement> m_log;
    bool m_own = false;
    bool m_replaying = false;

    QString m_name;
    QString m_file;
    QString m_notice;
    Dialect m_dialect;
    bool m_open = false;
    bool m_lost = false;
    bool m_duplicateKey = false;
    Server m_server; // empty driver for a SQLite file
    int m_batchDepth = 0;
    struct Bound {
        QByteArray bytes; // 'b' where a UTF-8 value is bound as bytes
        std::unique_ptr<QSqlQuery> query;
        QStringList names;
    };
    std::map<QString, std::vector<Bound>> m_bound;
    // The statement of the last Utf8 command: its text is looked up again only when it changes.
    QString m_lastBound;
    std::vector<Bound> *m_lastBoundPrepared = nullptr;
    int m_utf8 = -1; // storesUtf8(): unknown, no, yes
    // Prepared statements on an SQLite file, run below Qt's layer where that is possible.
    std::unique_ptr<NativeSqlite> m_native;
    struct StatementHash {
        size_t operator()(const QString &statement) const noexcept { return qHash(statement); }
    };
    struct Prepared {
        std::unique_ptr<QSqlQuery> query;
        QStringList names; // empty: bound by position
    };
    std::unordered_map<QString, Prepared, StatementHash> m_prepared;
};
