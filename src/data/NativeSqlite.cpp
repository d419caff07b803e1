#include "NativeSqlite.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>

#ifdef PLANEXO_HAVE_SQLITE3
#include <sqlite3.h>
#if defined(Q_OS_UNIX)
#include <dlfcn.h>
#define PLANEXO_NATIVE_SQLITE 1
#elif defined(Q_OS_WIN)
#include <windows.h>
#include <cstring>
#define PLANEXO_NATIVE_SQLITE 1
#endif
#endif

#ifdef PLANEXO_NATIVE_SQLITE

namespace {

#ifdef Q_OS_WIN
// Where a module's calls to an imported function go: the address its import table holds, which
// the loader filled in; null when the module does not import it.
const void *importedAddress(HMODULE module, const char *function)
{
    const auto *base = reinterpret_cast<const BYTE *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto *library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         library->Name; ++library) {
        if (!library->OriginalFirstThunk) continue; // names not kept: cannot tell
        const auto *name = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + library->OriginalFirstThunk);
        const auto *bound = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + library->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) == 0)
                return reinterpret_cast<const void *>(bound->u1.Function);
        }
    }
    return nullptr;
}

HMODULE moduleOf(const void *address)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
}
#endif

// Whether the driver's plugin calls the SQLite library that this program calls: a plugin built with
// its own copy of SQLite has a handle that only its copy may touch.
bool driverSharesTheLibrary(const QSqlDriver *driver)
{
#ifdef Q_OS_WIN
    // Both the plugin and this program import SQLite's DLL: one copy, when their calls land on the
    // same function.
    static const char marker = 0;
    const HMODULE plugin = moduleOf(*reinterpret_cast<void *const *>(driver));
    const HMODULE self = moduleOf(&marker);
    if (!plugin || !self) return false;
    const void *theirs = importedAddress(plugin, "sqlite3_step");
    const void *ours = importedAddress(self, "sqlite3_step");
    return theirs && theirs == ours;
#else
    Dl_info info{};
    const void *vtable = *reinterpret_cast<void *const *>(driver);
    if (!dladdr(vtable, &info) || !info.dli_fname) return false;
    void *plugin = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!plugin) return false;
    void *theirs = dlsym(plugin, "sqlite3_step");
    dlclose(plugin);
    void *ours = dlsym(RTLD_DEFAULT, "sqlite3_step");
    return theirs && theirs == ours;
#endif
}

// As the driver judges a value Null.
bool isNullValue(const QVariant &v)
{
    if (v.isNull()) return true;
    switch (v.typeId()) {
    case QMetaType::QString:
        return static_cast<const QString *>(v.constData())->isNull();
    case QMetaType::QByteArray:
        return static_cast<const QByteArray *>(v.constData())->isNull();
    case QMetaType::QDateTime:
        return !static_cast<const QDateTime *>(v.constData())->isValid();
    case QMetaType::QDate:
        return !static_cast<const QDate *>(v.constData())->isValid();
    case QMetaType::QTime:
        return !static_cast<const QTime *>(v.constData())->isValid();
    default:
        return false;
    }
}

int bindText16(sqlite3_stmt *st, int i, const QString &text)
{
    return sqlite3_bind_text16(st, i, text.utf16(), int(text.size() * sizeof(QChar)), SQLITE_TRANSIENT);
}

int bind(sqlite3_stmt *st, int i, const QVariant &v)
{
    if (isNullValue(v)) return sqlite3_bind_null(st, i);
    switch (v.typeId()) {
    case QMetaType::QByteArray: {
        // The value outlives the step, and the statement is reset before it is bound again.
        const auto *bytes = static_cast<const QByteArray *>(v.constData());
        return sqlite3_bind_text(st, i, bytes->constData(), int(bytes->size()), SQLITE_STATIC);
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(st, i, v.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(st, i, v.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(st, i, v.toLongLong());
    case QMetaType::QString: {
        const auto *text = static_cast<const QString *>(v.constData());
        return sqlite3_bind_text16(st, i, text->utf16(), int(text->size() * sizeof(QChar)), SQLITE_STATIC);
    }
    case QMetaType::QDateTime:
        return bindText16(st, i, v.toDateTime().toString(Qt::ISODateWithMs));
    case QMetaType::QTime:
        return bindText16(st, i, v.toTime().toString(QStringLiteral("hh:mm:ss.zzz")));
    default:
        return bindText16(st, i, v.toString());
    }
}

// A column's value as the driver reads it: a Null is a null text, a text its UTF-16 form.
QVariant columnValue(sqlite3_stmt *st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st, i));
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i)));
    default: {
        // Mostly plain ASCII, which reads the same in either form; anything else as the engine
        // turns it into UTF-16.
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
        const int n = sqlite3_column_bytes(st, i);
        bool ascii = text != nullptr;
        for (int k = 0; ascii && k < n; ++k)
            ascii = uchar(text[k]) < 0x80 && text[k] != 0;
        if (ascii) return QVariant(QString::fromLatin1(text, n));
        const auto *wide = static_cast<const QChar *>(sqlite3_column_text16(st, i));
        return QVariant(QString(wide, sqlite3_column_bytes16(st, i) / qsizetype(sizeof(QChar))));
    }
    }
}

} // namespace

std::unique_ptr<NativeSqlite> NativeSqlite::of(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver()) return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return nullptr;
    sqlite3 *native = *static_cast<sqlite3 *const *>(handle.constData());
    if (!native) return nullptr;
    static const bool shared = driverSharesTheLibrary(db.driver());
    if (!shared) return nullptr;
    return std::unique_ptr<NativeSqlite>(new NativeSqlite(native));
}

NativeSqlite::~NativeSqlite()
{
    for (auto &[text, st] : m_statements)
        sqlite3_finalize(st);
}

QSqlError NativeSqlite::lastError(const char *what, int type, int code) const
{
    return QSqlError(QCoreApplication::translate("QSQLiteResult", what),
                     QString(reinterpret_cast<const QChar *>(sqlite3_errmsg16(m_db))),
                     QSqlError::ErrorType(type), QString::number(code));
}

sqlite3_stmt *NativeSqlite::prepare(const QString &statement, unsigned flags, QSqlError &error) const
{
    sqlite3_stmt *st = nullptr;
    const void *tail = nullptr;
    const int rc = sqlite3_prepare16_v3(m_db, statement.utf16(), int((statement.size() + 1) * sizeof(QChar)),
                                        flags, &st, &tail);
    if (rc != SQLITE_OK) {
        error = lastError("Unable to execute statement", QSqlError::StatementError, rc);
        sqlite3_finalize(st);
        return nullptr;
    }
    if (tail && !QString(reinterpret_cast<const QChar *>(tail)).trimmed().isEmpty()) {
        error = lastError("Unable to execute multiple statements at a time", QSqlError::StatementError,
                          SQLITE_MISUSE);
        sqlite3_finalize(st);
        return nullptr;
    }
    return st;
}

sqlite3_stmt *NativeSqlite::statementFor(const QString &statement, QSqlError &error)
{
    // Text that this holds a reference to cannot change; unowned text (a literal, raw data) is compared.
    for (Recent &r : m_recent)
        if (r.statement && r.text.constData() == statement.constData() && r.text.size() == statement.size() &&
            (r.text.data_ptr().d_ptr() || r.text == statement))
            return r.statement;
    auto it = m_statements.find(statement);
    if (it == m_statements.end()) {
        sqlite3_stmt *st = prepare(statement, SQLITE_PREPARE_PERSISTENT, error);
        if (!st) return nullptr;
        it = m_statements.emplace(statement, st).first;
    }
    Recent &r = m_recent[m_nextRecent];
    m_nextRecent = (m_nextRecent + 1) % kRecent;
    r.text = statement;
    r.statement = it->second;
    return r.statement;
}

bool NativeSqlite::bindAll(sqlite3_stmt *st, const QVariantList &values, Bytes bytes, QSqlError &error) const
{
    if (sqlite3_bind_parameter_count(st) != values.size()) {
        error = QSqlError(QCoreApplication::translate("QSQLiteResult", "Parameter count mismatch"), QString(),
                          QSqlError::StatementError);
        return false;
    }
    for (int i = 0; i < int(values.size()); ++i) {
        const QVariant &v = values[i];
        int rc = SQLITE_OK;
        if (bytes == Bytes::Blob && v.typeId() == QMetaType::QByteArray && !isNullValue(v)) {
            const auto *b = static_cast<const QByteArray *>(v.constData());
            rc = sqlite3_bind_blob(st, i + 1, b->constData(), int(b->size()), SQLITE_STATIC);
        } else {
            rc = bind(st, i + 1, v);
        }
        if (rc != SQLITE_OK) {
            error = lastError("Unable to bind parameters", QSqlError::StatementError, rc);
            sqlite3_reset(st);
            return false;
        }
    }
    return true;
}

QSqlError NativeSqlite::stepFailed(sqlite3_stmt *st, int rc) const
{
    // A generic failure or a constraint says which it was once the statement is reset.
    if (rc == SQLITE_ERROR || rc == SQLITE_CONSTRAINT) {
        const int code = sqlite3_reset(st);
        return lastError("Unable to fetch row", QSqlError::ConnectionError, code);
    }
    QSqlError error = lastError("Unable to fetch row", QSqlError::ConnectionError, rc);
    sqlite3_reset(st);
    return error;
}

bool NativeSqlite::readAll(sqlite3_stmt *st, QStringList *names, QVector<QVector<QVariant>> &rows,
                           QSqlError &error) const
{
    const int n = sqlite3_column_count(st);
    if (names)
        for (int i = 0; i < n; ++i)
            *names << QString(static_cast<const QChar *>(sqlite3_column_name16(st, i))).remove(QLatin1Char('"'));
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVector<QVariant> row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row.push_back(columnValue(st, i));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        error = stepFailed(st, rc);
        return false;
    }
    sqlite3_reset(st);
    return true;
}

long long NativeSqlite::run(const QString &statement, const QVariantList &values, QSqlError &error, Bytes bytes)
{
    sqlite3_stmt *st = statementFor(statement, error);
    if (!st || !bindAll(st, values, bytes, error)) return -1;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
        const long long changed = sqlite3_changes(m_db);
        sqlite3_reset(st);
        return changed;
    }
    error = stepFailed(st, rc);
    return -1;
}

bool NativeSqlite::select(const QString &statement, QStringList &names, QVector<QVector<QVariant>> &rows,
                          QSqlError &error)
{
    sqlite3_stmt *st = prepare(statement, 0, error);
    if (!st) return false;
    const bool ok = readAll(st, &names, rows, error);
    sqlite3_finalize(st);
    return ok;
}

bool NativeSqlite::select(const QString &statement, const QVariantList &values, QStringList *names,
                          QVector<QVector<QVariant>> &rows, QSqlError &error)
{
    sqlite3_stmt *st = statementFor(statement, error);
    return st && bindAll(st, values, Bytes::Blob, error) && readAll(st, names, rows, error);
}

#else // without SQLite's library, or where its use by the driver cannot be checked

std::unique_ptr<NativeSqlite> NativeSqlite::of(const QSqlDatabase &)
{
    return nullptr;
}

NativeSqlite::~NativeSqlite() = default;

long long NativeSqlite::run(const QString &, const QVariantList &, QSqlError &error, Bytes)
{
    error = QSqlError(QStringLiteral("SQLite"), QString(), QSqlError::UnknownError);
    return -1;
}

bool NativeSqlite::select(const QString &, QStringList &, QVector<QVector<QVariant>> &, QSqlError &error)
{
    error = QSqlError(QStringLiteral("SQLite"), QString(), QSqlError::UnknownError);
    return false;
}

bool NativeSqlite::select(const QString &, const QVariantList &, QStringList *, QVector<QVector<QVariant>> &,
                          QSqlError &error)
{
    error = QSqlError(QStringLiteral("SQLite"), QString(), QSqlError::UnknownError);
    return false;
}

#endif
