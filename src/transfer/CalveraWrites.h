#pragma once

#include <QList>
#include <QString>
#include <functional>

class DataConnection;

// Commands for Calvera held until a round trip is worth it. They run in the order given, each on
// its own as if sent alone; a connection that cannot send several at once runs each as it comes.
class CalveraWrites {
  public:
    using Observer = std::function<void(const QString &)>;
    using Done = std::function<void(long long affected)>;
    // Deals with the failure of its command where it can (for instance by running another command in
    // its place) and returns true; the commands after it are then sent. False: the failure stands.
    using Recover = std::function<bool()>;

    // `capacity`: the most commands sent together; `step` receives the step of a failing command.
    CalveraWrites(DataConnection &connection, const Observer &observer, int &step, int capacity);

    // How many commands a connection should take per round trip; one where a one-row insert into
    // `insertTable` might silently change nothing (each must then be checked before the next runs).
    static int capacityFor(DataConnection &connection, const QString &insertTable = QString());

    // Queues a command; `done` runs with its count once it ran. A full queue is sent.
    void add(const QString &command, int step, Done done, Recover recover = {});
    // Sends what is queued. The first failure is thrown after the `done` of every command before it.
    void flush();

  private:
    struct Pending {
        QString command;
        int step;
        Done done;
        Recover recover;
    };
    DataConnection &m_connection;
    const Observer &m_observer;
    int &m_step;
    int m_capacity;
    QList<Pending> m_pending;
};
