#include "DataConnection.h"

#include "EngineMessages.h"
#include "FileSystemKind.h"
#include "PlanexoError.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <algorithm>

// ADO's generic provider failure, for errors without a native code.
static constexpr long kProviderError = -2147467259;
// VB's base for errors raised by components, which keeps their numbers apart from VB's own.
static constexpr long kVbObjectError = -2147221504;
static constexpr long kSqliteError = 1;      // SQLITE_ERROR: the statement itself failed
static constexpr long kSqliteReadOnly = 8;   // SQLITE_READONLY
static constexpr long kSqliteExtended = 256; // extended result codes start here

DataConnection::~DataConnection()
{
    close();
}

// The first line of a PostgreSQL message without its severity: libpq adds the statement's text
// with a caret, hints and the SQLSTATE on further lines.
static QString serverMessage(const QSqlError &error)
{
    QString text = error.databaseText().trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
    for (const QLatin1String severity : {QLatin1String("ERROR:"), QLatin1String("FATAL:")})
        if (text.startsWith(severity)) text = text.mid(severity.size()).trimmed();
    if (text.isEmpty()) text = error.driverText().trimmed();
    return text;
}

// Every failure of a driver becomes a PlanexoError here: the engine's number, and the failures an
// operator meets described as the original's engine described them, in Spanish.
void DataConnection::fail(const QSqlError &error, const QString &statement)
{
    const QString state = error.nativeErrorCode();
    if (!m_server.driver.isEmpty()) {
        m_duplicateKey = state == QLatin1String("23505");
        std::optional<QString> known = enginemessages::postgresql(state, error.databaseText());
        if (!known && state.isEmpty())
            known = enginemessages::secureLink(error.databaseText(), m_server.host);
        QString text = known.value_or(serverMessage(error));
        if (!m_server.password.isEmpty()) text.replace(m_server.password, QStringLiteral("****"));
        if (!m_server.where.isEmpty()) text += QStringLiteral(" [") + m_server.where + QLatin1Char(']');
        // A link the server dropped fails every later statement: the next one opens it again.
        if (m_open && m_batchDepth == 0) {
            QSqlQuery probe(QSqlDatabase::database(m_name, false));
            if (!probe.exec(QStringLiteral("select 1"))) m_lost = true;
        }
        // SQLSTATEs are not numbers: ADO's generic provider failure stands for them.
        throw PlanexoError(kProviderError, text, m_source);
    }
    bool ok = false;
    long number = state.toLong(&ok);
    if (!ok || number == 0) number = kProviderError;
    // SQLite's extended codes for a primary key and a unique index.
    m_duplicateKey = number == 1555 || number == 2067;
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) text = error.text().trimmed();
    if (text.isEmpty()) text = error.driverText().trimmed();
    if (m_dialect.engine() == Dialect::Engine::SQLite) {
        if (number > 0 && (number & 0xff) == kSqliteReadOnly && !m_file.isEmpty())
            text = QStringLiteral("No se pueden guardar cambios: la base de datos '%1' es de solo lectura.")
                       .arg(QDir::toNativeSeparators(m_file));
        else if (const std::optional<QString> jet = enginemessages::sqlite(number, text, statement))
            text = *jet;
        // SQLite's primary codes are VB's runtime numbers too (13 "database or disk is full" would
        // read as "No coinciden los tipos"): raised as a component raises its own errors.
        if (number > kSqliteError && number < kSqliteExtended) number += kVbObjectError;
    }
    throw PlanexoError(number, text, m_source);
}

void DataConnection::ensureOpen()
{
    if (m_lost) open(m_name);
    if (!m_open)
        throw PlanexoError(3704, QStringLiteral("No se permite la operación si el objeto está cerrado."),
                           m_source);
}

// The rows of an executed query; false with the error when reading them fails.
static bool readRows(QSqlQuery &q, QVector<QVector<QVariant>> &rows, QSqlError *error)
{
    const int n = q.record().count();
    while (q.next()) {
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            row[i] = q.value(i);
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid()) {
        *error = q.lastError();
        return false;
    }
    return true;
}

// Each "?" outside quotes becomes a name of its own, in order; where asText marks it with 'b', the
// name is read back as text.
static QString namedParameters(const QString &statement, const QByteArray &asText, QStringList &names)
{
    QString named;
    named.reserve(statement.size() + 16 * asText.size());
    bool quoted = false;
    for (const QChar c : statement) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (c == QLatin1Char('?') && !quoted) {
            const qsizetype i = names.size();
            names << QStringLiteral(":v") + QString::number(i);
            if (i < asText.size() && asText[i] == 'b')
                named += QStringLiteral("cast(") + names.last() + QStringLiteral(" as text)");
            else
                named += names.last();
        } else {
            named += c;
        }
    }
    return named;
}

QSqlQuery &DataConnection::prepared(const QString &statement, const QVariantList &values)
{
    ensureOpen();
    auto it = m_prepared.find(statement);
    if (it == m_prepared.end()) {
        Prepared p;
        p.query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_name, false));
        p.query->setForwardOnly(true);
        // On SQLite the values are bound by names made once: Qt's binding by position makes a
        // name for every value it binds.
        const bool byName = m_server.driver.isEmpty() && m_dialect.engine() == Dialect::Engine::SQLite;
        if (!p.query->prepare(byName ? namedParameters(statement, {}, p.names) : statement))
            fail(p.query->lastError(), statement);
        it = m_prepared.emplace(statement, std::move(p)).first;
    }
    QSqlQuery &q = *it->second.query;
    const QStringList &names = it->second.names;
    if (names.isEmpty()) {
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
    } else {
        for (qsizetype i = 0; i < values.size() && i < names.size(); ++i)
            q.bindValue(names[i], values[i]);
    }
    return q;
}

long long DataConnection::run(const Statement &command)
{
    long long affected = 0;
    switch (command.form()) {
    case Statement::Form::Text:
        affected = runText(command.shape());
        break;
    case Statement::Form::Prepared:
        affected = runPrepared(command.shape(), command.values());
        break;
    case Statement::Form::Utf8:
        affected = runUtf8(command.shape(), command.values());
        break;
    }
    logWrite(command);
    return affected;
}

QVector<QVector<QVariant>> DataConnection::rows(const Statement &query, QStringList *names)
{
    QVector<QVector<QVariant>> rows;
    if (query.form() == Statement::Form::Text)
        queryText(query.shape(), names, rows);
    else
        queryPrepared(query.shape(), query.values(), names, rows);
    return rows;
}

bool DataConnection::intoRecordset(Recordset &rs, const Statement &query)
{
    rs.Close();
    QStringList names;
    QVector<QVector<QVariant>> found = rows(query, &names);
    rs.assign(names, std::move(found));
    return rs.RecordCount() > 0;
}

bool DataConnection::CrearFilas(QStringList &names, QVector<QVector<QVariant>> &found)
{
    names.clear();
    found.clear();
    found = rows(Statement(Sql), &names);
    return !found.isEmpty();
}

void DataConnection::queryPrepared(const QString &statement, const QVariantList &values, QStringList *names,
                                   QVector<QVector<QVariant>> &rows)
{
    ensureOpen();
    QSqlError error;
    if (m_native) {
        if (!m_native->select(statement, values, names, rows, error)) fail(error, statement);
        return;
    }
    QSqlQuery &q = prepared(statement, values);
    bool ok = q.exec();
    if (ok && names) {
        const QSqlRecord record = q.record();
        for (int i = 0; i < record.count(); ++i)
            *names << record.fieldName(i);
    }
    ok = ok && readRows(q, rows, &error);
    if (!ok && !error.isValid()) error = q.lastError();
    q.finish();
    if (!ok) fail(error, statement);
}

void DataConnection::queryText(const QString &statement, QStringList *names, QVector<QVector<QVariant>> &rows)
{
    ensureOpen();
    QSqlError error;
    QStringList unnamed;
    if (m_native) {
        if (!m_native->select(statement, names ? *names : unnamed, rows, error)) fail(error, statement);
        return;
    }
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    if (!q.exec(statement)) fail(q.lastError(), statement);
    if (names) {
        const QSqlRecord record = q.record();
        for (int i = 0; i < record.count(); ++i)
            *names << record.fieldName(i);
    }
    if (!readRows(q, rows, &error)) fail(error, statement);
}

// Runs a prepared command: the rows it changed; a failure names the statement.
long long DataConnection::runCommand(QSqlQuery &q, const QString &statement)
{
    if (!q.exec()) {
        const QSqlError error = q.lastError();
        q.finish();
        fail(error, statement);
    }
    const long long affected = q.numRowsAffected();
    q.finish();
    return affected;
}

long long DataConnection::runText(const QString &statement)
{
    ensureOpen();
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(statement)) {
        const QSqlError error = q.lastError();
        q = QSqlQuery();
        keepBatchAfterFailure();
        fail(error, statement);
    }
    return q.numRowsAffected();
}

long long DataConnection::runPrepared(const QString &statement, const QVariantList &values)
{
    ensureOpen();
    try {
        if (m_native) {
            QSqlError error;
            const long long affected = m_native->run(statement, values, error, NativeSqlite::Bytes::Blob);
            if (affected < 0) fail(error, statement);
            return affected;
        }
        return runCommand(prepared(statement, values), statement);
    } catch (const PlanexoError &) {
        keepBatchAfterFailure();
        throw;
    }
}

bool DataConnection::storesUtf8()
{
    if (m_utf8 < 0) {
        ensureOpen();
        m_utf8 = 0;
        if (m_dialect.engine() == Dialect::Engine::SQLite && m_server.driver.isEmpty()) {
            QSqlQuery q(QSqlDatabase::database(m_name, false));
            if (q.exec(QStringLiteral("PRAGMA encoding")) && q.next())
                m_utf8 = q.value(0).toString() == QLatin1String("UTF-8") ? 1 : 0;
        }
    }
    return m_utf8 == 1;
}

long long DataConnection::runUtf8(const QString &statement, const QVariantList &values)
{
    ensureOpen();
    if (m_native) {
        QSqlError error;
        const long long affected = m_native->run(statement, values, error);
        if (affected < 0) {
            keepBatchAfterFailure();
            fail(error, statement);
        }
        return affected;
    }
    // A UTF-8 text given as bytes goes in as a blob that the statement reads back as text: the
    // engine then stores the bytes without converting them from UTF-16 and back.
    const bool utf8 = storesUtf8();
    QByteArray bytes(values.size(), '-');
    for (qsizetype i = 0; i < values.size(); ++i)
        if (utf8 && values[i].typeId() == QMetaType::QByteArray) bytes[i] = 'b';
    // Callers pass the same shared text again and again: compared by its data first.
    if (!m_lastBoundPrepared || statement.constData() != m_lastBound.constData() ||
        statement != m_lastBound) {
        m_lastBound = statement;
        m_lastBoundPrepared = &m_bound[statement];
    }
    std::vector<Bound> &variants = *m_lastBoundPrepared;
    auto it =
        std::find_if(variants.begin(), variants.end(), [&](const Bound &b) { return b.bytes == bytes; });
    if (it == variants.end()) {
        Bound b;
        b.bytes = bytes;
        const QString named = namedParameters(statement, bytes, b.names);
        b.query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_name, false));
        b.query->setForwardOnly(true);
        if (!b.query->prepare(named)) fail(b.query->lastError(), statement);
        variants.push_back(std::move(b));
        it = variants.end() - 1;
    }
    QSqlQuery &q = *it->query;
    const QStringList &names = it->names;
    for (qsizetype i = 0; i < values.size() && i < names.size(); ++i) {
        const QVariant &v = values[i];
        if (!utf8 && v.typeId() == QMetaType::QByteArray)
            q.bindValue(names[i], QString::fromUtf8(v.toByteArray()));
        else
            q.bindValue(names[i], v);
    }
    long long affected = 0;
    try {
        affected = runCommand(q, statement);
    } catch (const PlanexoError &) {
        keepBatchAfterFailure();
        throw;
    }
    return affected;
}

QString DataConnection::jsonArray(const QStringList &texts)
{
    QString json(QLatin1Char('['));
    for (const QString &t : texts) {
        if (json.size() > 1) json += QLatin1Char(',');
        json += QLatin1Char('"');
        for (const QChar c : t) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\')) {
                json += QLatin1Char('\\');
                json += c;
            } else if (c.unicode() < 0x20) {
                json += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                json += c;
            }
        }
        json += QLatin1Char('"');
    }
    return json + QLatin1Char(']');
}

void DataConnection::beginBatch()
{
    if (!m_open) return;
    if (m_batchDepth++ == 0) {
        m_log.clear();
        QSqlDatabase::database(m_name, false).transaction();
    }
}

void DataConnection::commitBatch()
{
    if (!m_open || m_batchDepth == 0) return;
    if (--m_batchDepth == 0) {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (!db.commit()) {
            const QSqlError error = db.lastError();
            // The engine drops a transaction whose commit failed: its writes run again on their own.
            if (!m_own || m_log.empty()) fail(error, QString());
            db.rollback();
            replayBatch();
        }
        m_log.clear();
    }
}

void DataConnection::rollbackBatch()
{
    if (!m_open) return;
    m_batchDepth = 0;
    m_log.clear();
    QSqlDatabase::database(m_name, false).rollback();
}

void DataConnection::logWrite(const Statement &command)
{
    if (m_own && m_batchDepth > 0 && !m_replaying) m_log.push_back(command);
}

bool DataConnection::transactionDropped()
{
    // BEGIN succeeds only outside a transaction.
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(QStringLiteral("BEGIN"))) return false;
    q.exec(QStringLiteral("ROLLBACK"));
    return true;
}

void DataConnection::replayBatch()
{
    std::vector<Statement> log;
    log.swap(m_log);
    const int depth = m_batchDepth;
    m_batchDepth = 0;
    m_replaying = true;
    try {
        for (const Statement &command : log)
            run(command);
    } catch (...) {
        m_replaying = false;
        m_batchDepth = depth;
        if (depth > 0) QSqlDatabase::database(m_name, false).transaction();
        throw;
    }
    m_replaying = false;
    m_batchDepth = depth;
    // The batch goes on in a transaction of its own.
    if (depth > 0) QSqlDatabase::database(m_name, false).transaction();
}

void DataConnection::keepBatchAfterFailure()
{
    if (!m_own || m_replaying || m_batchDepth == 0 || m_log.empty() || !transactionDropped()) return;
    try {
        replayBatch();
    } catch (const PlanexoError &) {
        // The storage still fails: what ran again stays, and the first failure is the one reported.
    }
}

void DataConnection::openSqlite(const QString &connectionName, const QString &path, const QString &source,
                                Tuning tuning)
{
    m_source = source;
    close();
    m_server = Server();
    const QFileInfo info(path);
    if (!info.isFile())
        throw PlanexoError(kProviderError, QStringLiteral("No se pudo encontrar el archivo '%1'.").arg(path),
                           source);
    const bool writable = QFileInfo(info.absoluteFilePath()).isWritable();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    // A URI with mode=rw never creates a missing file.
    QUrl uri = QUrl::fromLocalFile(info.absoluteFilePath());
    uri.setQuery(writable ? QStringLiteral("mode=rw") : QStringLiteral("mode=ro"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    m_name = connectionName;
    m_dialect = Dialect(Dialect::Engine::SQLite);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        m_name.clear();
        fail(error, QString());
    }
    m_file = info.absoluteFilePath();
    m_open = true;
    m_own = tuning == Tuning::Own;
    // The first statement reads the header, so a file that is no database fails here. The journal
    // mode is kept in the file: only the work database, and only when it may be written, gets WAL.
    // On a network file system the write-ahead log is unsafe (its index lives in memory shared on
    // one machine only): the rollback journal instead, and no memory mapping of the file.
    m_notice.clear();
    const filesystem::Info fs =
        tuning == Tuning::Own && writable ? filesystem::of(info.absolutePath()) : filesystem::Info();
    const bool network = fs.kind == filesystem::Kind::Network;
    QStringList pragmas = {QStringLiteral("PRAGMA schema_version")};
    QString journal;
    if (tuning == Tuning::Own) {
        if (writable) {
            journal = network ? QStringLiteral("delete") : QStringLiteral("wal");
            // FULL: a commit is on the disk when it returns. With NORMAL the log is synced only at
            // checkpoints, and a power cut takes back stages and saves the operator saw done; the
            // long operations commit a handful of times, so the syncs cost little.
            pragmas << QStringLiteral("PRAGMA journal_mode=") + journal
                    << QStringLiteral("PRAGMA synchronous=FULL");
        }
        pragmas << QStringLiteral("PRAGMA foreign_keys=ON");
    }
    if (!network) pragmas << QStringLiteral("PRAGMA mmap_size=268435456");
    QSqlQuery q(db);
    for (const QString &pragma : pragmas) {
        const bool journalPragma = pragma.startsWith(QLatin1String("PRAGMA journal_mode"));
        const bool done = q.exec(pragma);
        if (!done && !(journalPragma && network)) {
            const QSqlError error = q.lastError();
            q = QSqlQuery();
            db = QSqlDatabase();
            close();
            fail(error, QString());
        }
        // Leaving WAL mode needs the file to itself: while another connection holds it in WAL mode
        // the change fails (busy) or answers with the mode still in force.
        if (journalPragma && network &&
            (!done || !q.next() || q.value(0).toString().compare(journal, Qt::CaseInsensitive) != 0)) {
            q = QSqlQuery();
            db = QSqlDatabase();
            close();
            throw PlanexoError(
                kProviderError,
                QStringLiteral("La base de datos de trabajo '%1' está en una carpeta de red (%2) y otro "
                               "programa la tiene abierta con el registro WAL, que allí no es seguro: cierre "
                               "los demás programas que la usan y vuelva a intentarlo.")
                    .arg(QDir::toNativeSeparators(info.absoluteFilePath()), fs.name),
                source);
        }
    }
    if (network)
        m_notice =
            QStringLiteral("La base de datos de trabajo '%1' está en una carpeta de red (%2): se abre "
                           "con el diario de reversión (journal_mode=DELETE) en lugar del registro WAL, "
                           "que no es seguro en una carpeta compartida.")
                .arg(QDir::toNativeSeparators(info.absoluteFilePath()), fs.name);
    m_native = NativeSqlite::of(db);
}

void DataConnection::openDriver(const QString &connectionName, const QString &driver, const QString &database,
                                const QString &host, int port, const QString &user, const QString &password,
                                const QString &options, const QString &source, const QString &where)
{
    m_source = source;
    close();
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw PlanexoError(
            kProviderError,
            QStringLiteral("No está disponible el controlador de base de datos '%1'.").arg(driver), source);
    m_server = Server{driver, database, host, user, password, options, where, port};
    if (driver == QLatin1String("QPSQL") && !options.contains(QLatin1String("connect_timeout")))
        m_server.options = QStringLiteral("connect_timeout=%1").arg(kConnectTimeout) +
                           (options.isEmpty() ? QString() : QLatin1Char(';') + options);
    open(connectionName);
}

void DataConnection::open(QString connectionName)
{
    close();
    const Server &p = m_server;
    QSqlDatabase db = QSqlDatabase::addDatabase(p.driver, connectionName);
    db.setDatabaseName(p.database);
    if (!p.host.isEmpty()) db.setHostName(p.host);
    if (p.port > 0) db.setPort(p.port);
    if (!p.user.isEmpty()) db.setUserName(p.user);
    if (!p.password.isEmpty()) db.setPassword(p.password);
    if (!p.options.isEmpty()) db.setConnectOptions(p.options);
    m_name = connectionName;
    m_dialect =
        Dialect(p.driver == QLatin1String("QPSQL") ? Dialect::Engine::PostgreSQL : Dialect::Engine::SQLite);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        // Kept, so that a later statement tries the server again.
        m_lost = true;
        fail(error, QString());
    }
    m_open = true;
    m_lost = false;
}

void DataConnection::close()
{
    m_native.reset();
    m_prepared.clear();
    m_bound.clear();
    m_lastBound.clear();
    m_lastBoundPrepared = nullptr;
    m_utf8 = -1;
    m_log.clear();
    m_own = false;
    if (m_name.isEmpty()) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_name.clear();
    m_file.clear();
    m_open = false;
    m_lost = false;
    m_batchDepth = 0;
}
