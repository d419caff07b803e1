#pragma once

#include "DataConnection.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <memory>

namespace EnlaceDatos {

// The data-access manager: connections to Calvera's databases by entity name, configured by
// db/calvera.ini in the program's folder (one section per entity).
class EDMain {
public:
    explicit EDMain(QString programFolder);
    ~EDMain();

    // Reads db/calvera.ini; fails when it is missing, unreadable or malformed. A section may name a
    // libpq service (`service`), which then gives what the section leaves out, database included.
    void LoadParameters();
    // The connection of the database that holds the entity; the same object for the same entity,
    // and for entities that name the same database.
    DataConnection &getDataConnectionByEntity(const QString &entity);
    // A date and time as a literal that the entity's database accepts.
    QString getDateFormatbyEntity(const QString &entity, const QDateTime &when);

    QString parametersFile() const;
    // What the operator should know about the parameters read: a password stored in a file that
    // other users of the machine can read. Also written once per run on stderr. Empty otherwise.
    QString notice() const { return m_notice; }

private:
    struct Parameters {
        QString driver, database, host, user, password, options, service;
        int port = 0;
        QString key() const;
    };
    const Parameters &parametersOf(const QString &entity) const;
    QString serverText(const QString &entity, const Parameters &p) const;

    QString m_programFolder;
    bool m_loaded = false;
    QMap<QString, Parameters> m_entities; // upper-case entity name
    std::map<QString, std::unique_ptr<DataConnection>> m_connections; // by database key
    QString m_prefix;
    QString m_notice;
    int m_opened = 0; // connection names are never reused
};

} // namespace EnlaceDatos
