#pragma once

#include "DataConnection.h"

namespace oAlm {

// The work-database component: one connection to the program's own SQLite file.
class clGestor : public DataConnection {
public:
    clGestor();
    ~clGestor() override;

    // "Provider=QSQLITE;Data Source=<file>"; written once at start-up.
    QString CadenaConexion;
    // Opens the connection named by CadenaConexion; the file must exist.
    void Conectar();

    // The connection string for a program folder.
    static QString connectionStringFor(const QString &programFolder);

private:
    QString m_connectionName;
};

} // namespace oAlm
