#pragma once

#include <QHashFunctions>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QVariantList>
#include <memory>
#include <unordered_map>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// Commands run straight on the SQLite handle under Qt's driver, for the long operations that run
// thousands of them: Qt's layer costs more per command than the engine's own work. Values are bound
// as the driver binds them, except that a QByteArray is a text in UTF-8; failures come as the driver
// reports them. Only where the driver runs on the SQLite library that this program calls.
class NativeSqlite {
  public:
    // Nothing when the connection is no open SQLite database of the library this program calls.
    static std::unique_ptr<NativeSqlite> of(const QSqlDatabase &db);
    // Finalizes the statements: before the driver closes its handle.
    ~NativeSqlite();
    NativeSqlite(const NativeSqlite &) = delete;
    NativeSqlite &operator=(const NativeSqlite &) = delete;

    // How a QByteArray value is bound: as the UTF-8 text it holds, or as the blob that the driver binds.
    enum class Bytes { Text, Blob };
    // Runs a command with "?" placeholders, prepared once; the rows it changed, or -1 with `error`.
    long long run(const QString &statement, const QVariantList &values, QSqlError &error,
                  Bytes bytes = Bytes::Text);
    // Runs a query given as its text: its column names and its rows, each value as the driver reads
    // it. False with `error` when it fails.
    bool select(const QString &statement, QStringList &names, QVector<QVector<QVariant>> &rows,
                QSqlError &error);
    // The same for a query with "?" placeholders, prepared once, its values bound as the driver binds
    // them; `names` may be null.
    bool select(const QString &statement, const QVariantList &values, QStringList *names,
                QVector<QVector<QVariant>> &rows, QSqlError &error);

  private:
    explicit NativeSqlite(sqlite3 *db) : m_db(db) {}
    sqlite3_stmt *prepare(const QString &statement, unsigned flags, QSqlError &error) const;
    sqlite3_stmt *statementFor(const QString &statement, QSqlError &error);
    bool bindAll(sqlite3_stmt *st, const QVariantList &values, Bytes bytes, QSqlError &error) const;
    // The driver's report of a failed step, the statement reset.
    QSqlError stepFailed(sqlite3_stmt *st, int rc) const;
    // Steps through the rows, and resets the statement.
    bool readAll(sqlite3_stmt *st, QStringList *names, QVector<QVector<QVariant>> &rows, QSqlError &error) const;
    QSqlError lastError(const char *what, int type, int code) const;

    sqlite3 *m_db;
    struct Hash {
        size_t operator()(const QString &s) const noexcept { return qHash(s); }
    };
    std::unordered_map<QString, sqlite3_stmt *, Hash> m_statements;
    // Callers pass the same few shared texts again and again: the texts last used are found by
    // their data (held here, so that no other text can take their place in memory) before any hash.
    struct Recent {
        QString text;
        sqlite3_stmt *statement = nullptr;
    };
    static constexpr int kRecent = 8;
    Recent m_recent[kRecent];
    int m_nextRecent = 0;
};
