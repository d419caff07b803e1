#pragma once

#include <QString>

// Marks one shipment as being worked on by this program instance while the object holds it, so
// that a second instance does not process or transfer the same shipment at the same time. The mark
// is an operating-system lock on a file beside the work database: it ends with the process however
// the process ends, so a crashed instance never leaves a shipment locked.
class ShipmentLock {
  public:
    enum class Result {
        Acquired,      // this object holds the shipment
        HeldElsewhere, // another instance (or another object) holds it
        Unavailable,   // no lock file can be made (a folder without write permission)
    };

    ShipmentLock() = default;
    ~ShipmentLock();
    ShipmentLock(const ShipmentLock &) = delete;
    ShipmentLock &operator=(const ShipmentLock &) = delete;

    // Takes the shipment of the work database at databaseFile without waiting.
    Result acquire(const QString &databaseFile, const QString &shipment);
    void release();

    // The lock file of a shipment: beside the database, named by a hash of the shipment number,
    // which may hold any character.
    static QString fileFor(const QString &databaseFile, const QString &shipment);
    // What the second instance is told.
    static QString busyMessage(const QString &shipment);

  private:
#ifdef Q_OS_WIN
    using Handle = void *;
    static inline Handle const kNoHandle = reinterpret_cast<void *>(qintptr(-1)); // INVALID_HANDLE_VALUE
#else
    using Handle = int;
    static constexpr Handle kNoHandle = -1;
#endif
    Handle m_handle = kNoHandle;
    QString m_file;
};
