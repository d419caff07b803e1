#include "ui/app/QtInteraction.h"
#include "ui/app/frmMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Planexo"));
    QApplication::setApplicationName(QStringLiteral("Planexo"));
    setInteraction(&QtInteraction::instance());

    frmMain window(QCoreApplication::applicationDirPath());
    window.Form_Load();
    window.show();
    return app.exec();
}
