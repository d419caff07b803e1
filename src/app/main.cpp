#include "app/Interaction.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Planexo"));
    QApplication::setApplicationName(QStringLiteral("Planexo"));

    frmMain window(QCoreApplication::applicationDirPath());
    window.Form_Load();
    window.show();
    return app.exec();
}
