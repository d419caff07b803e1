#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantList>
#include <functional>

class DataConnection;
class PlanexoError;

// A command for Calvera kept as its shape, with "?" where its values go, and its values: written out
// as literals it is the text that a server receives and an observer sees; on SQLite it runs prepared
// once per shape with the values bound, which stores the same values as the literals would.
class CalveraCommand {
  public:
    CalveraCommand() = default;
    // A shape whose "?" outside quotes take the values added next, in order; without values, the text.
    explicit CalveraCommand(const QString &shape) : m_shape(shape) { m_values.reserve(24); }

    // A text value: a quoted literal ('' for Null), or the same text bound. A QByteArray holds the
    // text in UTF-8.
    CalveraCommand &text(const QVariant &value);
    CalveraCommand &text(const QString &value);
    // A number in the text of an SQL number literal (setAnsi's), bound as SQLite reads that literal.
    CalveraCommand &number(const QString &literal);
    // A number as the literal that vb::sqlNumberLiteral writes, made only when the text is needed;
    // error 11 for a value that is no finite number.
    CalveraCommand &number(double value);
    // A finite number formatted with a vb::format pattern, as setAnsi writes the formatted text (its
    // digits with a point), made only when the text is needed.
    CalveraCommand &number(double value, const QString &pattern);
    // A literal given as SQL text (a date): a quoted text is bound as its content, as it reads.
    CalveraCommand &literal(const QString &sqlLiteral);

    // The shape for the values added so far (when the values decide it).
    void setShape(const QString &shape) { m_shape = shape; }
    const QString &shape() const { return m_shape; }
    bool hasValues() const { return !m_values.isEmpty(); }
    // The command with its values written as literals.
    QString sql() const;
    // The values to bind, in order.
    QVariantList values() const;

  private:
    enum class Kind { Text, Utf8, Number, Real, Formatted, Literal };
    struct Value {
        QString text;
        Kind kind;
        QByteArray utf8 = {};
        double real = 0;
        int decimals = 0; // Formatted: the pattern is in text
    };
    QString m_shape;
    QList<Value> m_values;
};

// Commands for Calvera held until a round trip is worth it. They run in the order given, each on
// its own as if sent alone; a connection that cannot send several at once runs each as it comes.
// On SQLite the commands held run in one transaction whose outcome is that of running them one by
// one: a command that fails leaves in Calvera every command before it.
class CalveraWrites {
  public:
    using Observer = std::function<void(const QString &)>;
    using Done = std::function<void(long long affected)>;
    // Deals with the failure of its command where it can (for instance by running another command in
    // its place) and returns true; the commands after it are then sent. False: the failure stands.
    using Recover = std::function<bool()>;

    // `capacity`: the most commands sent together; `step` receives the step of a failing command.
    CalveraWrites(DataConnection &connection, const Observer &observer, int &step, int capacity);

    // How many commands a connection should take per round trip (per transaction on SQLite); one
    // where a one-row insert into `insertTable` might silently change nothing (each must then be
    // checked before the next runs).
    static int capacityFor(DataConnection &connection, const QString &insertTable = QString());

    // Queues a command; `done` runs with its count once it ran. A full queue is sent.
    void add(const QString &command, int step, Done done, Recover recover = {});
    void add(CalveraCommand command, int step, Done done, Recover recover = {});
    // Sends what is queued. The first failure is thrown after the `done` of every command before it.
    void flush();

  private:
    struct Pending {
        CalveraCommand command;
        int step;
        Done done;
        Recover recover;
    };
    long long run(const Pending &p);
    void sendTogether(const QList<Pending> &batch, qsizetype count);
    void runInTransactions(const QList<Pending> &batch, qsizetype count);
    // Keeps the commands of the open transaction and returns true; when its commit fails, runs
    // [from, to) again one at a time (their `done` has run already) and returns false.
    bool keep(const QList<Pending> &batch, qsizetype from, qsizetype to);
    // The failure of a command run alone: recovered, or thrown.
    void failed(const Pending &p, const PlanexoError &error);

    DataConnection &m_connection;
    const Observer &m_observer;
    int &m_step;
    int m_capacity;
    QList<Pending> m_pending;
};
