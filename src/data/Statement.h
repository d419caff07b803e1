#pragma once

#include <QString>
#include <QVariantList>

// One statement for either engine: SQL text whose "?" placeholders take the values bound to them, in
// order. A connection runs it (DataConnection::run, rows, runAll): a statement without values as
// its text is written, one with values prepared once per connection and shape, then bound and
// stepped. Its text with the values written as literals (what statement buffers, observers and error
// reports show) is rendered only when asked for.
class Statement {
  public:
    // How the values go to the engine.
    enum class Form {
        Text,     // no values: run as written
        Prepared, // prepared once per shape, the values bound as the driver binds them
        Utf8,     // Prepared, and a QByteArray value is a text in UTF-8, stored as the text it holds
    };

    Statement() = default;
    explicit Statement(const QString &sql) : m_shape(sql) {}
    Statement(const QString &shape, const QVariantList &values, Form form = Form::Prepared)
        : m_shape(shape), m_values(values), m_form(form)
    {
    }

    // SQL text, the same in both forms; it never holds a "?" of its own.
    Statement &sql(const QString &piece);
    // A text value: a quoted literal with its quotes doubled, or a bound text.
    Statement &text(const QString &value);
    Statement &number(double value);
    Statement &integer(qint64 value);
    // A cell bound for a numeric column: empty is Null, a number in the user's locale is that
    // number, anything else error 13.
    Statement &numberFromText(const QString &cell);
    // Another statement's pieces and values, after these.
    Statement &append(const Statement &other);
    // Prepared even without values, as a statement run again and again.
    Statement &prepared()
    {
        if (m_form == Form::Text) m_form = Form::Prepared;
        return *this;
    }

    QString literal() const;
    const QString &shape() const { return m_shape; }
    const QVariantList &values() const { return m_values; }
    Form form() const { return m_form; }

  private:
    Statement &bind(QVariant value);

    QString m_shape;
    QVariantList m_values;
    Form m_form = Form::Text;
};
