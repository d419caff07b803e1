// Build tool: creates a SQLite file from SQL scripts (statements separated by ";" at line end).
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

static QStringList statementsOf(const QString &script)
{
    QStringList statements;
    QString current;
    bool inString = false;
    for (const QString &line : script.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!inString && (trimmed.startsWith(QLatin1String("--")) || trimmed.isEmpty()))
            continue;
        for (const QChar c : line)
            if (c == QLatin1Char('\''))
                inString = !inString;
        current += line + QLatin1Char('\n');
        if (!inString && trimmed.endsWith(QLatin1Char(';'))) {
            statements << current.trimmed();
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: planexo_mkdb OUTPUT.sqlite SCRIPT.sql...\n");
        return 2;
    }
    const QString output = args[1];
    QFile::remove(output);
    int rc = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mkdb"));
        db.setDatabaseName(output);
        if (!db.open()) {
            std::fprintf(stderr, "%s\n", qPrintable(db.lastError().text()));
            return 1;
        }
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        db.transaction();
        for (int i = 2; i < args.size() && rc == 0; ++i) {
            QFile file(args[i]);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(args[i]));
                rc = 1;
                break;
            }
            for (const QString &statement : statementsOf(QString::fromUtf8(file.readAll()))) {
                if (!q.exec(statement)) {
                    std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(args[i]), qPrintable(q.lastError().text()),
                                 qPrintable(statement.left(200)));
                    rc = 1;
                    break;
                }
            }
        }
        if (rc == 0)
            db.commit();
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mkdb"));
    if (rc != 0)
        QFile::remove(output);
    return rc;
}
