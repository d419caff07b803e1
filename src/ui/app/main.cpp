#include "shared/DataFolder.h"
#include "ui/app/QtInteraction.h"
#include "ui/app/Translations.h"
#include "ui/app/frmMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Planexo"));
    QApplication::setApplicationName(QStringLiteral("Planexo"));
    setInteraction(&QtInteraction::instance());
    installQtTranslations(QLocale());

    QString problem;
    const QString dataFolder = datafolder::choose(datafolder::current(), &problem);
    if (!problem.isEmpty())
        qWarning("%s", qPrintable(problem));

    frmMain window(dataFolder);
    window.Form_Load();
    window.show();
    return app.exec();
}
