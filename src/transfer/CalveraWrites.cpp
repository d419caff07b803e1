#include "CalveraWrites.h"

#include "data/DataConnection.h"

#include <exception>

namespace {
constexpr int kCommandsPerRoundTrip = 100;
}

CalveraWrites::CalveraWrites(DataConnection &connection, const Observer &observer, int &step, int capacity)
    : m_connection(connection), m_observer(observer), m_step(step), m_capacity(std::max(1, capacity))
{
}

int CalveraWrites::capacityFor(DataConnection &connection, const QString &insertTable)
{
    if (!connection.sendsCommandsTogether()) return 1;
    if (!insertTable.isEmpty() && !connection.insertsAlwaysLand(insertTable)) return 1;
    return kCommandsPerRoundTrip;
}

void CalveraWrites::add(const QString &command, int step, Done done, Recover recover)
{
    m_pending.push_back({command, step, std::move(done), std::move(recover)});
    if (m_pending.size() >= m_capacity) flush();
}

void CalveraWrites::flush()
{
    if (m_pending.isEmpty()) return;
    const QList<Pending> batch = std::move(m_pending);
    m_pending.clear();
    // The observer sees each command as it is sent; one it refuses is not sent, nor what follows.
    // Commands sent behind one that fails do not run.
    QStringList commands;
    std::exception_ptr refused;
    for (const Pending &p : batch) {
        if (m_observer) {
            try {
                m_observer(p.command);
            } catch (...) {
                refused = std::current_exception();
                break;
            }
        }
        commands << p.command;
    }
    // After a failure the server has run nothing further: what follows a recovered command goes again.
    qsizetype start = 0;
    while (start < commands.size()) {
        const DataConnection::CommandsResult result = m_connection.EjecutarVarios(commands.mid(start));
        for (qsizetype i = 0; i < result.affected.size(); ++i) {
            m_connection.Sql = batch[start + i].command;
            batch[start + i].done(result.affected[i]);
        }
        const qsizetype failed = start + result.affected.size();
        if (!result.error) break;
        const Pending &p = batch[failed];
        m_connection.Sql = p.command;
        m_step = p.step;
        if (!p.recover || !p.recover()) throw *result.error;
        start = failed + 1;
    }
    if (refused) {
        m_connection.Sql = batch[commands.size()].command;
        m_step = batch[commands.size()].step;
        std::rethrow_exception(refused);
    }
}
