#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// What engines write differently in the statements the program builds.
class Dialect {
public:
    enum class Engine { SQLite, PostgreSQL };

    explicit Dialect(Engine engine = Engine::SQLite) : m_engine(engine) {}
    Engine engine() const { return m_engine; }

    // A numbered nomenclator column: [001] (SQLite reads brackets natively) or "001".
    QString column(const QString &name) const;
    // Text concatenation of SQL expressions.
    QString concat(const QStringList &expressions) const;
    // The first n characters of an SQL expression.
    QString left(const QString &expression, int n) const;
    // A date and time as a literal with its delimiters.
    QString dateLiteral(const QDateTime &when) const;

private:
    Engine m_engine;
};

namespace sql {

// A text value as a quoted literal, single quotes doubled: O'Brien -> 'O''Brien'.
QString text(const QString &value);
// A text value that may be Null: Null gives '' (the original wrote Null as two quotes).
QString text(const QVariant &value);
// Rows of text values as a table, "(values ('a','b'),('c','d'))", whose columns both engines name
// column1, column2, ...: keys for a set-wise read that joins them to the rows they look up.
QString valuesTable(const QList<QStringList> &rows);
// A number literal, point as separator.
QString number(double value);
// A cell text bound for a numeric column: empty gives Null, a number in the user's locale its
// literal, anything else error 13.
QString numberFromText(const QString &cell);

} // namespace sql
