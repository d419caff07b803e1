#include "lote/Lote.h"
#include "shared/SharedState.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Planexo"));
    QCoreApplication::setApplicationName(QStringLiteral("Planexo"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    Lote lote(out, err);
    const int status = lote.run(QCoreApplication::arguments().mid(1));
    // The connections close while the application still exists.
    resetShared();
    return status;
}
