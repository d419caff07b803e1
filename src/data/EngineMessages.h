#pragma once

#include <QString>
#include <optional>

// The description of a database engine's failure as the original's engine (Jet) gave it, in Spanish,
// for the failures an operator meets: a duplicate key, a required value missing, a value of the
// wrong type, a missing or remaining related record, a locked database and a read-only one. Nothing
// for any other failure, whose engine text stays as it is.
namespace enginemessages {

// An SQLite failure by its extended result code and message; `statement` tells a delete apart.
std::optional<QString> sqlite(long code, const QString &message, const QString &statement);
// A PostgreSQL failure by its SQLSTATE and its message with the detail lines.
std::optional<QString> postgresql(const QString &state, const QString &message);
// A refused encrypted link to a PostgreSQL server, by libpq's message: the certificate not trusted,
// not issued for the server's name, no certificate authority file, a server without encryption, a
// client library without it.
// The message names `host`, else the server libpq tried.
std::optional<QString> secureLink(const QString &message, const QString &host);

} // namespace enginemessages
