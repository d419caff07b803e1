#include "data/EngineMessages.h"

#include <QRegularExpression>

namespace enginemessages {

namespace {

// Jet 3022.
const QString kDuplicate = QStringLiteral(
    "No se realizaron los cambios pedidos en la tabla porque crearían valores duplicados en el índice, "
    "clave principal o relación. Cambie los datos en el campo o los campos que contienen datos duplicados, "
    "quite el índice o vuelva a definirlo para permitir entradas duplicadas e inténtelo de nuevo.");
// Jet 3464.
const QString kTypeMismatch = QStringLiteral("No coinciden los tipos de datos en la expresión de criterios.");
// Jet 3218.
const QString kLocked = QStringLiteral("No se pudo actualizar; actualmente bloqueado.");
// Jet 3027.
const QString kReadOnly =
    QStringLiteral("No se puede actualizar. La base de datos o el objeto es de sólo lectura.");

// Jet 3314, with the field as Jet names it ("TABLA.CAMPO").
QString required(const QString &field)
{
    return QStringLiteral("El campo '%1' no puede contener un valor Null porque la propiedad Requerido para "
                          "este campo está establecida a True. Escriba un valor en este campo.")
        .arg(field);
}

// Jet 3201 (a related record is needed) and 3200 (related records remain), with the table when the
// engine names it.
QString tableName(const QString &table)
{
    return table.isEmpty() ? QStringLiteral("relacionada") : QLatin1Char('\'') + table + QLatin1Char('\'');
}
QString relatedNeeded(const QString &table)
{
    return QStringLiteral(
               "No se puede agregar o cambiar el registro porque se necesita un registro relacionado "
               "en la tabla %1.")
        .arg(tableName(table));
}
QString relatedRemain(const QString &table)
{
    return QStringLiteral("No se puede eliminar o cambiar el registro porque la tabla %1 contiene registros "
                          "relacionados.")
        .arg(tableName(table));
}

// The first group of `pattern`'s first match, or empty.
QString captured(const QString &text, const char *pattern)
{
    const QRegularExpressionMatch m = QRegularExpression(QLatin1String(pattern)).match(text);
    return m.hasMatch() ? m.captured(1) : QString();
}

bool isDelete(const QString &statement)
{
    return statement.trimmed().startsWith(QLatin1String("delete"), Qt::CaseInsensitive);
}

} // namespace

std::optional<QString> sqlite(long code, const QString &message, const QString &statement)
{
    switch (code) {
    case 1555: // SQLITE_CONSTRAINT_PRIMARYKEY
    case 2067: // SQLITE_CONSTRAINT_UNIQUE
        return kDuplicate;
    case 1299: // SQLITE_CONSTRAINT_NOTNULL: "NOT NULL constraint failed: TABLA.CAMPO"
        return required(captured(message, ":\\s*(\\S+)\\s*$"));
    case 3091: // SQLITE_CONSTRAINT_DATATYPE: a STRICT column refused the value
    case 20:   // SQLITE_MISMATCH
        return kTypeMismatch;
    case 787: // SQLITE_CONSTRAINT_FOREIGNKEY: SQLite does not name the table
        return isDelete(statement) ? relatedRemain(QString()) : relatedNeeded(QString());
    default:
        break;
    }
    if (code <= 0) return std::nullopt;
    switch (code & 0xff) {
    case 5: // SQLITE_BUSY and its extended codes
    case 6: // SQLITE_LOCKED
        return kLocked;
    case 8: // SQLITE_READONLY
        return kReadOnly;
    default:
        return std::nullopt;
    }
}

std::optional<QString> postgresql(const QString &state, const QString &message)
{
    if (state == QLatin1String("23505")) // unique_violation
        return kDuplicate;
    if (state == QLatin1String("23502")) { // not_null_violation
        const QString column = captured(message, "column \"([^\"]+)\"");
        const QString table = captured(message, "relation \"([^\"]+)\"");
        return required(table.isEmpty() ? column : table + QLatin1Char('.') + column);
    }
    if (state == QLatin1String("22P02") || state == QLatin1String("42804") || state == QLatin1String("22007"))
        return kTypeMismatch;              // invalid input syntax (of a number, of a date), datatype mismatch
    if (state == QLatin1String("23503")) { // foreign_key_violation
        // "insert or update on table "a" violates ...": the needed row is in the referenced table,
        // named by the detail line only; "update or delete on table "b" ... on table "a"": a's rows
        // refer to it.
        const QString referencing = captured(message, "constraint \"[^\"]*\" on table \"([^\"]+)\"");
        if (!referencing.isEmpty()) return relatedRemain(referencing);
        const QString referenced = captured(message, "is not present in table \"([^\"]+)\"");
        return relatedNeeded(referenced);
    }
    if (state == QLatin1String("55P03") || state == QLatin1String("55006") || state == QLatin1String("40P01"))
        return kLocked;                  // lock not available, object in use, deadlock
    if (state == QLatin1String("25006")) // read_only_sql_transaction
        return kReadOnly;
    return std::nullopt;
}

std::optional<QString> secureLink(const QString &message, const QString &host)
{
    // The name the parameters give (the one the certificate must carry), else the one libpq tried.
    QString server = host.isEmpty() ? captured(message, "connection to server at \"([^\"]+)\"") : host;
    if (server.isEmpty()) server = QStringLiteral("localhost");
    const QString head =
        QStringLiteral("No se pudo establecer la conexión cifrada con el servidor %1: ").arg(server);
    if (message.contains(QLatin1String("certificate verify failed")))
        return head +
               QStringLiteral("su certificado no es de confianza (no lo firmó la autoridad certificadora "
                              "indicada en sslrootcert).");
    const QString issuedFor =
        captured(message, "server certificate for \"([^\"]*)\".* does not match host name");
    if (!issuedFor.isEmpty())
        return head +
               QStringLiteral("ese nombre no coincide con el de su certificado (emitido para \"%1\"%2).")
                   .arg(issuedFor, message.contains(QLatin1String(" other name"))
                                       ? QStringLiteral(" y otros nombres")
                                       : QString());
    const QString authority = captured(message, "root certificate file \"([^\"]*)\" does not exist");
    if (!authority.isEmpty())
        return head +
               QStringLiteral("no existe el archivo de la autoridad certificadora \"%1\" (sslrootcert).")
                   .arg(authority);
    if (message.contains(QLatin1String("server does not support SSL, but SSL was required")))
        return head + QStringLiteral("el servidor no acepta conexiones cifradas y sslmode las exige.");
    // A libpq built without TLS (the Windows build's) refuses any sslmode that asks for it.
    if (message.contains(QLatin1String("invalid when SSL support is not compiled in")))
        return head + QStringLiteral("esta instalación no puede cifrar conexiones y sslmode las exige.");
    return std::nullopt;
}

} // namespace enginemessages
