#include "CalveraWrites.h"

#include "data/DataConnection.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

namespace {
constexpr int kCommandsPerRoundTrip = 100;
// On SQLite: one commit, and its journal's flushes to disk, for so many commands.
constexpr int kCommandsPerTransaction = 2000;

// The value of a number literal as SQLite reads it: with a point or an exponent a real, else an
// integer (a real when too long for one).
QVariant literalValue(const QString &literal)
{
    char text[64];
    const qsizetype n = literal.size();
    bool real = false;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = literal.at(i).unicode();
        if (n >= qsizetype(sizeof text) || c > 127) return literal.toDouble();
        text[i] = char(c);
        real = real || c == u'.' || c == u'e' || c == u'E';
    }
    if (!real) {
        long long integer = 0;
        const auto [end, error] = std::from_chars(text, text + n, integer);
        if (error == std::errc() && end == text + n) return integer;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text, text + n, value);
    if (error == std::errc() && end == text + n) return value;
    return literal.toDouble();
}
// literalValue of vb::sqlNumberLiteral(value) without the text: when the shortest digits that read
// back as the value number 15 or fewer, they are the literal's, which then reads back as the value
// itself, an integer when it has no point and no exponent (-4 <= exponent < 15, whole).
QVariant realValue(double value)
{
    if (value == 0) return 0LL;
    // Mostly a whole number, or one with a few decimals: m / 10^k giving the value back, with m whole
    // and below 1e15, is a literal of 15 digits or fewer that reads as the value.
    if (const double a = std::fabs(value); a >= 1e-4 && a < 1e15) {
        if (value == std::trunc(value)) return static_cast<long long>(value);
        double scale = 10;
        for (int k = 1; k <= 6; ++k, scale *= 10) {
            const double m = value * scale;
            if (std::fabs(m) >= 1e15) break;
            if (m == std::trunc(m) && m / scale == value) return value;
        }
    }
    char sci[40];
    const auto r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
    if (r.ec == std::errc() && std::fabs(value) >= std::numeric_limits<double>::min()) {
        const char *e = std::find(sci, r.ptr, 'e');
        int digits = 0;
        for (const char *p = sci; p < e; ++p)
            digits += *p >= '0' && *p <= '9';
        int x = 0;
        if (e < r.ptr && digits <= 15 &&
            std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, x).ec == std::errc()) {
            if (x >= 0 && x < 15 && digits <= x + 1) return static_cast<long long>(value);
            return value;
        }
    }
    return literalValue(vb::sqlNumberLiteral(value));
}
// literalValue of a formatted number's text: with decimals, the value its digits stand for (a zero
// as zero), which roundHalfAway reads from the same digits.
QVariant formattedValue(double value, int decimals, const QString &pattern)
{
    if (decimals <= 0)
        return literalValue(vb::format(value, pattern).replace(vb::decimalSeparator(), QLatin1Char('.')));
    const double r = vb::roundHalfAway(value, decimals);
    return r == 0 ? 0.0 : r;
}
} // namespace

CalveraCommand &CalveraCommand::text(const QVariant &value)
{
    if (value.isNull() || !value.isValid()) return text(QString());
    if (value.typeId() == QMetaType::QByteArray) {
        m_values.push_back({QString(), Kind::Utf8, value.toByteArray()});
        return *this;
    }
    return text(value.toString());
}

CalveraCommand &CalveraCommand::text(const QString &value)
{
    m_values.push_back({value, Kind::Text});
    return *this;
}

CalveraCommand &CalveraCommand::number(const QString &literal)
{
    m_values.push_back({literal, Kind::Number});
    return *this;
}

CalveraCommand &CalveraCommand::number(double value)
{
    if (!std::isfinite(value)) throw PlanexoError::divisionByZero();
    m_values.push_back({QString(), Kind::Real, QByteArray(), value});
    return *this;
}

CalveraCommand &CalveraCommand::number(double value, const QString &pattern)
{
    int decimals = 0;
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    if (point >= 0) decimals = int(pattern.mid(point + 1).count(QLatin1Char('0')));
    m_values.push_back({pattern, Kind::Formatted, QByteArray(), value, decimals});
    return *this;
}

CalveraCommand &CalveraCommand::literal(const QString &sqlLiteral)
{
    m_values.push_back({sqlLiteral, Kind::Literal});
    return *this;
}

QString CalveraCommand::sql() const
{
    if (m_values.isEmpty()) return m_shape;
    QString out;
    out.reserve(m_shape.size() + 12 * m_values.size());
    qsizetype next = 0;
    bool quoted = false;
    for (const QChar c : m_shape) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (c == QLatin1Char('?') && !quoted && next < m_values.size()) {
            const Value &v = m_values[next++];
            out += v.kind == Kind::Text   ? sql::text(v.text)
                   : v.kind == Kind::Utf8 ? sql::text(QString::fromUtf8(v.utf8))
                   : v.kind == Kind::Real ? vb::sqlNumberLiteral(v.real)
                   : v.kind == Kind::Formatted
                       ? vb::format(v.real, v.text).replace(vb::decimalSeparator(), QLatin1Char('.'))
                       : v.text;
            continue;
        }
        out += c;
    }
    return out;
}

QVariantList CalveraCommand::values() const
{
    QVariantList out;
    out.reserve(m_values.size());
    for (const Value &v : m_values) {
        switch (v.kind) {
        case Kind::Text:
        case Kind::Utf8: {
            // As the literal: never Null, and without the NUL characters that the literal drops.
            QByteArray t = v.kind == Kind::Utf8 ? v.utf8 : v.text.toUtf8();
            if (t.isNull()) t = QByteArray("");
            if (t.contains('\0')) t.replace(QByteArrayView("\0", 1), QByteArrayView());
            out << t;
            break;
        }
        case Kind::Number:
            out << literalValue(v.text);
            break;
        case Kind::Real:
            out << realValue(v.real);
            break;
        case Kind::Formatted:
            out << formattedValue(v.real, v.decimals, v.text);
            break;
        case Kind::Literal:
            // A quoted text: its content, quotes undoubled.
            {
                QByteArray t = v.text.mid(1, v.text.size() - 2)
                                   .replace(QStringLiteral("''"), QStringLiteral("'"))
                                   .toUtf8();
                out << (t.isNull() ? QByteArray("") : t);
            }
            break;
        }
    }
    return out;
}

CalveraWrites::CalveraWrites(DataConnection &connection, const Observer &observer, int &step, int capacity)
    : m_connection(connection), m_observer(observer), m_step(step), m_capacity(std::max(1, capacity))
{
}

int CalveraWrites::capacityFor(DataConnection &connection, const QString &insertTable)
{
    // A row that an SQLite trigger drops is seen before the next command runs.
    if (connection.isOpen() && connection.dialect().engine() == Dialect::Engine::SQLite)
        return kCommandsPerTransaction;
    if (!connection.sendsCommandsTogether()) return 1;
    if (!insertTable.isEmpty() && !connection.insertsAlwaysLand(insertTable)) return 1;
    return kCommandsPerRoundTrip;
}

void CalveraWrites::add(const QString &command, int step, Done done, Recover recover)
{
    add(CalveraCommand(command), step, std::move(done), std::move(recover));
}

void CalveraWrites::add(CalveraCommand command, int step, Done done, Recover recover)
{
    m_pending.push_back({std::move(command), step, std::move(done), std::move(recover)});
    if (m_pending.size() >= m_capacity) flush();
}

void CalveraWrites::flush()
{
    if (m_pending.isEmpty()) return;
    const QList<Pending> batch = std::move(m_pending);
    m_pending.clear();
    // The observer sees each command as it is sent; one it refuses is not sent, nor what follows.
    // Commands sent behind one that fails do not run.
    qsizetype count = 0;
    std::exception_ptr refused;
    for (; count < batch.size(); ++count) {
        if (!m_observer) {
            count = batch.size();
            break;
        }
        try {
            m_observer(batch[count].command.sql());
        } catch (...) {
            refused = std::current_exception();
            break;
        }
    }
    if (!m_connection.sendsCommandsTogether() && m_connection.isOpen() &&
        m_connection.dialect().engine() == Dialect::Engine::SQLite)
        runInTransactions(batch, count);
    else
        sendTogether(batch, count);
    if (refused) {
        m_connection.Sql = batch[count].command.sql();
        m_step = batch[count].step;
        std::rethrow_exception(refused);
    }
}

void CalveraWrites::sendTogether(const QList<Pending> &batch, qsizetype count)
{
    QList<Statement> commands;
    commands.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        commands << Statement(batch[i].command.sql());
    // After a failure the server has run nothing further: what follows a recovered command goes again.
    qsizetype start = 0;
    while (start < commands.size()) {
        const DataConnection::CommandsResult result = m_connection.runAll(commands.mid(start));
        for (qsizetype i = 0; i < result.affected.size(); ++i) {
            m_connection.Sql = commands[start + i].shape();
            batch[start + i].done(result.affected[i]);
        }
        const qsizetype failed = start + result.affected.size();
        if (!result.error) break;
        const Pending &p = batch[failed];
        m_connection.Sql = commands[failed].shape();
        m_step = p.step;
        if (!p.recover || !p.recover()) throw *result.error;
        start = failed + 1;
    }
}

long long CalveraWrites::run(const Pending &p)
{
    if (p.command.hasValues())
        return m_connection.run(Statement(p.command.shape(), p.command.values(), Statement::Form::Utf8));
    m_connection.Sql = p.command.shape();
    return m_connection.Ejecutar();
}

void CalveraWrites::failed(const Pending &p, const PlanexoError &error)
{
    m_connection.Sql = p.command.sql();
    m_step = p.step;
    if (!p.recover || !p.recover()) throw error;
}

void CalveraWrites::runInTransactions(const QList<Pending> &batch, qsizetype count)
{
    qsizetype i = 0;
    while (i < count) {
        const qsizetype start = i;
        m_connection.beginBatch();
        std::optional<PlanexoError> error;
        for (; i < count; ++i) {
            long long affected = 0;
            try {
                affected = run(batch[i]);
            } catch (const PlanexoError &e) {
                error = e;
                break;
            }
            try {
                batch[i].done(affected);
            } catch (...) {
                keep(batch, start, i + 1);
                m_connection.Sql = batch[i].command.sql();
                throw;
            }
        }
        if (!error) {
            keep(batch, start, i);
            return;
        }
        // A failing command leaves nothing behind, and mostly the transaction goes on without it;
        // after some failures (a full disk) the engine drops the whole transaction instead. Then what
        // came before runs again, and the failing command once more, each alone as it would have run.
        if (!keep(batch, start, i)) {
            try {
                const long long affected = run(batch[i]);
                batch[i].done(affected);
                ++i;
                continue;
            } catch (const PlanexoError &e) {
                error = e;
            }
        }
        failed(batch[i], *error);
        ++i;
    }
}

bool CalveraWrites::keep(const QList<Pending> &batch, qsizetype from, qsizetype to)
{
    try {
        m_connection.commitBatch();
        return true;
    } catch (const PlanexoError &) {
        m_connection.rollbackBatch();
    }
    for (qsizetype j = from; j < to; ++j) {
        try {
            run(batch[j]);
        } catch (const PlanexoError &e) {
            failed(batch[j], e);
        }
    }
    return false;
}
