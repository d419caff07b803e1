#pragma once

#include "data/PlanexoError.h"
#include "data/Recordset.h"

#include <QLocale>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

// A temporary program folder with fresh copies of the shipped databases and calvera.ini, a
// private settings store, and the shared values reset. Locale helpers for the two test locales.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();

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
    QTemporaryDir m_dir;
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
