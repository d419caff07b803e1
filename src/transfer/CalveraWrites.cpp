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

void CalveraWrites::add(const QString &command, int step, Done done)
{
    m_pending.push_back({command, step, std::move(done)});
    if (m_pending.size() >= m_capacity) flush();
}

void CalveraWrites::flush()
{
    if (m_pending.isEmpty()) return;
    const QList<Pending> batch = std::move(m_pending);
    m_pending.clear();
    // The observer sees each command before it is sent; one it refuses is not sent, nor what follows.
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
    const DataConnection::CommandsResult result = m_connection.EjecutarVarios(commands);
    for (qsizetype i = 0; i < result.affected.size(); ++i) {
        m_connection.Sql = batch[i].command;
        batch[i].done(result.affected[i]);
    }
    const qsizetype failed = result.affected.size();
    if (result.error) {
        m_connection.Sql = batch[failed].command;
        m_step = batch[failed].step;
        throw *result.error;
    }
    if (refused) {
        m_connection.Sql = batch[failed].command;
        m_step = batch[failed].step;
        std::rethrow_exception(refused);
    }
}
