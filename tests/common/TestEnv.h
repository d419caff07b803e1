#pragma once

#include "data/PlanexoError.h"
#include "data/Recordset.h"

#include <QLocale>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

// A temporary program folder with fresh copies of the shipped databases and calvera.ini, a
// private settings store, and the shared values reset. Locale helpers for the two test locales.
//
// Calvera's engine: SQLite files beside the work database, or, when PLANEXO_TEST_ENGINE=QPSQL (the
// "_pg" runs), fresh copies of Calvera's demo databases on the PostgreSQL server that scripts/with-pg
// describes in PLANEXO_PG_HOST, _PORT, _USER and _PASSWORD, made for each environment from the
// server's calvera_internos and calvera_ncm and dropped with it. A "_pg" run without a server fails.
class TestEnv {
  public:
    // The filters of the "Examinar" file dialog, as the operator sees them: the first one, which
    // the dialog opens with, shows every kind the reader takes.
    static QString workbookFilter()
    {
        return QStringLiteral("Todos los libros (*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt)|"
                              "*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods;*.csv;*.txt|"
                              "Archivo Excel (*.xls;*.xlsx)|*.xls;*.xlsx");
    }

    TestEnv();
    ~TestEnv();

    static bool onServer();
    // The test server's address as failures name it: "127.0.0.1:5432".
    static QString serverAddress();
    // This environment's database on the server for "INTERNOS" or "NCM".
    QString serverDatabase(const QString &entity) const;
    // A statement on Calvera with numbered nomenclator columns written [001], in Calvera's dialect.
    static QString calveraSql(const QString &statement);

    // How a failure of Calvera's database reads on this engine: the SQLite text as given, the
    // server's text with the entities and the server that the program adds.
    static QString calveraError(const QString &entities, const QString &sqliteText,
                                const QString &serverText);
    static QString missingTable(const QString &entities, const QString &table);
    // What a duplicate key reads as on either engine: Jet's description of its error 3022.
    static QString duplicateKeyText()
    {
        return QStringLiteral(
            "No se realizaron los cambios pedidos en la tabla porque crearían valores duplicados "
            "en el índice, clave principal o relación. Cambie los datos en el campo o los campos "
            "que contienen datos duplicados, quite el índice o vuelva a definirlo para permitir "
            "entradas duplicadas e inténtelo de nuevo.");
    }
    // A failure's number: SQLite's own code, or the provider's generic one for a server.
    static long calveraErrorNumber(long sqliteNumber);
    // Makes the INTERNOS database unreachable (file moved, database dropped); the failure's text.
    QString makeInternosUnreachable();

    // A row trigger on a Calvera table: when the condition on new holds (empty: always), refuse the
    // row with the message, skip it silently, or delete it again (after insert).
    enum class RowAction { Refuse, Skip, Delete };
    void calveraTrigger(const QString &entity, const QString &name, const QString &timing,
                        const QString &table, const QString &condition, RowAction action,
                        const QString &message = {});
    void dropCalveraTrigger(const QString &entity, const QString &name, const QString &table);

    bool isValid() const { return m_dir.isValid(); }
    QString programFolder() const { return m_dir.path(); }
    QString dbFile(const QString &name) const;

    // Creates the four long-lived components and connects them, as start-up does.
    void connect();

    // Runs a statement on the work database; fails the test's expectations by throwing.
    void exec(const QString &statement);
    // The first column of the first row of a query on the work database (null when no row).
    QVariant scalar(const QString &query);
    // Same on a Calvera entity ("INTERNOS", "NCM").
    void execCalvera(const QString &entity, const QString &statement);
    QVariant scalarCalvera(const QString &entity, const QString &query);

    // The settings store of this environment.
    void setSetting(const QString &key, const QString &value);
    QString setting(const QString &key) const;
    bool hasSetting(const QString &key) const;

    static void useComma() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina)); }
    static void usePoint() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

private:
  void createServerDatabases();

  QTemporaryDir m_dir;
  QString m_serverPrefix; // databases <prefix>_internos and <prefix>_ncm on the server
#ifdef Q_OS_WIN
  QVariantMap m_outerSettings; // the registry's Planexo settings before this environment
#endif
};

// The number of the error that f raises; 0 when it raises none.
template <class F>
long errorNumberOf(F &&f)
{
    try {
        f();
    } catch (const PlanexoError &e) {
        return e.number();
    }
    return 0;
}
