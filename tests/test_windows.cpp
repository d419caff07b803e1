// What Windows does differently, checked on Windows (under Wine in scripts/windows-test): the
// per-user data folder under %APPDATA%, paths with drive letters, backslashes, blanks and accents,
// the settings in the registry, the shipment lock's Windows file locking and the login name.
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/ShipmentLock.h"
#include "data/clEntorno.h"
#include "data/clGestor.h"
#include "shared/DataFolder.h"
#include "shared/Settings.h"
#include "shared/SharedState.h"
#include "transfer/modGlobal.h"
#include "ui/app/frmMain.h"
#include "ui/import/SheetPanel.h"
#include "workbook/clEcxel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kInvoice = QStringLiteral(PLANEXO_TEST_DATA_DIR "/../../db/demo/factura_demo.xlsx");
const QString kRegistry = QStringLiteral("HKEY_CURRENT_USER\\Software\\Planexo\\Planexo");

// A folder path as Windows writes it: drive letter and backslashes.
QString native(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

  private slots:
    // The names the program gives itself at start-up, which name its folders.
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Planexo"));
        QCoreApplication::setApplicationName(QStringLiteral("Planexo"));
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // The installer's layout: bin\ without db\, the demo databases in share\planexo\db\. The
    // program then works in the user's folder under %APPDATA%, made from the installed copy.
    void dataFolderUnderAppData()
    {
        const QString appData = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
        QVERIFY2(appData.size() > 3 && appData.at(1) == QLatin1Char(':'), qPrintable(appData));
        const datafolder::Places here = datafolder::current();
        QCOMPARE(QDir::cleanPath(here.userData),
                 QDir::cleanPath(appData + QStringLiteral("/Planexo/Planexo")));

        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString program = root.filePath(QStringLiteral("Archivos de programa/Planexo"));
        QVERIFY(QDir().mkpath(program + QStringLiteral("/bin")));
        QVERIFY(QDir().mkpath(program + QStringLiteral("/share/planexo/db")));
        for (const QString &name :
             QDir(QStringLiteral(PLANEXO_BUILD_DB_DIR))
                 .entryList({QStringLiteral("*.sqlite"), QStringLiteral("calvera.ini")}))
            QVERIFY(QFile::copy(QStringLiteral(PLANEXO_BUILD_DB_DIR "/") + name,
                                program + QStringLiteral("/share/planexo/db/") + name));
        const QString user =
            root.filePath(QStringLiteral("Usuarios/José Núñez/AppData/Roaming/Planexo/Planexo"));
        // Everything given as Windows writes it.
        const datafolder::Places places{native(program + QStringLiteral("/bin")),
                                        native(program + QStringLiteral("/bin/../share/planexo")),
                                        native(user),
                                        QString(),
                                        {}};
        QString problem;
        const QString chosen = datafolder::choose(places, &problem);
        QCOMPARE(problem, QString());
        QCOMPARE(QDir::cleanPath(QDir::fromNativeSeparators(chosen)), QDir::cleanPath(user));
        QVERIFY(QFile::exists(user + QStringLiteral("/db/PlanexoGenericoOstrova.sqlite")));
        QVERIFY(QFile::exists(user + QStringLiteral("/db/calvera.ini")));
        QVERIFY(QFileInfo(user + QStringLiteral("/db/PlanexoGenericoOstrova.sqlite")).isWritable());

        // The work database opens from that folder through its connection string, which names it
        // with the drive letter and backslashes.
        const QString connection = oAlm::clGestor::connectionStringFor(chosen);
        QCOMPARE(connection, QStringLiteral("Provider=QSQLITE;Data Source=") + native(user) +
                                 QStringLiteral("\\db\\PlanexoGenericoOstrova.sqlite"));
        oAlm::clGestor gestor;
        gestor.CadenaConexion = connection;
        gestor.Conectar();
        QVERIFY(gestor.isOpen());
    }

    // A drive's root as program folder: one separator, not two.
    void connectionStringAtADriveRoot()
    {
        QCOMPARE(oAlm::clGestor::connectionStringFor(QStringLiteral("D:\\")),
                 QStringLiteral("Provider=QSQLITE;Data Source=D:\\db\\PlanexoGenericoOstrova.sqlite"));
        QCOMPARE(oAlm::clGestor::connectionStringFor(QStringLiteral("C:/Archivos de programa/Planexo/")),
                 QStringLiteral("Provider=QSQLITE;Data Source=C:\\Archivos de programa\\Planexo\\db\\"
                                "PlanexoGenericoOstrova.sqlite"));
    }

    // The settings store is the registry under HKEY_CURRENT_USER\Software\Planexo\Planexo, group
    // CONFIG, not a file.
    void settingsLiveInTheRegistry()
    {
        {
            QSettings outer(kRegistry, QSettings::NativeFormat);
            outer.setValue(QStringLiteral("CONFIG/INTCAT"), QStringLiteral("999"));
            outer.sync();
        }
        {
            TestEnv env;
            // A test environment starts with an empty store...
            QCOMPARE(settings::read(QStringLiteral("INTCAT"), QStringLiteral("vacío")),
                     QStringLiteral("vacío"));
            settings::write(QStringLiteral("INTDUN"), QStringLiteral("07"));
            settings::write(QStringLiteral("AA_MARCA"), QStringLiteral("ÑANDÚ"));
            QSettings reg(kRegistry, QSettings::NativeFormat);
            QCOMPARE(reg.value(QStringLiteral("CONFIG/INTDUN")).toString(), QStringLiteral("07"));
            QCOMPARE(reg.value(QStringLiteral("CONFIG/AA_MARCA")).toString(), QStringLiteral("ÑANDÚ"));
            QCOMPARE(QDir(env.programFolder() + QStringLiteral("/config"))
                         .entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     QStringList());
        }
        // ...and puts back what the registry held before it.
        QSettings reg(kRegistry, QSettings::NativeFormat);
        QCOMPARE(reg.value(QStringLiteral("CONFIG/INTCAT")).toString(), QStringLiteral("999"));
        QVERIFY(!reg.contains(QStringLiteral("CONFIG/INTDUN")));
        reg.remove(QStringLiteral("CONFIG/INTCAT"));
    }

    // Windows file locking: the lock file beside a work database in a folder with blanks and
    // accents is this holder's alone (no other handle opens it), and goes with the holder.
    void shipmentLockOnWindowsPaths()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("Depósito común/db"));
        QVERIFY(QDir().mkpath(folder));
        const QString db = native(folder + QStringLiteral("/PlanexoGenericoOstrova.sqlite"));
        {
            ShipmentLock first, second;
            QCOMPARE(first.acquire(db, QStringLiteral("2024-0815")), ShipmentLock::Result::Acquired);
            const QString file = ShipmentLock::fileFor(db, QStringLiteral("2024-0815"));
            QVERIFY(QFile::exists(file));
            QFile other(file);
            QVERIFY(!other.open(QIODevice::ReadWrite));
            QVERIFY(!QFile::remove(file));
            QCOMPARE(second.acquire(db, QStringLiteral("2024-0815")), ShipmentLock::Result::HeldElsewhere);
            first.release();
            QVERIFY(!QFile::exists(file));
            QCOMPARE(second.acquire(db, QStringLiteral("2024-0815")), ShipmentLock::Result::Acquired);
        }
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.lock")}, QDir::Files), QStringList());

        // A folder that does not exist gives no lock, and says so.
        ShipmentLock nowhere;
        QCOMPARE(nowhere.acquire(native(root.filePath(QStringLiteral("no existe/db.sqlite"))),
                                 QStringLiteral("1")),
                 ShipmentLock::Result::Unavailable);
    }

    // The account's name, whatever USERNAME says.
    void loginNameIsTheAccounts()
    {
        const QString account = modGlobal::ObtenerUsuario();
        QVERIFY(!account.isEmpty());
        QVERIFY(account != QStringLiteral("(Desconocido)"));
        const QByteArray saved = qgetenv("USERNAME");
        qputenv("USERNAME", "otra-persona");
        const QString again = modGlobal::ObtenerUsuario();
        qputenv("USERNAME", saved);
        QCOMPARE(again, account);
    }

    // An invoice under a folder and a name with blanks and accents, chosen as Windows writes the
    // path: the reader, the file check and the window's "Examinar" all take it.
    void invoiceWithAccentsAndBackslashes()
    {
        TestEnv::useComma();
        TestEnv env;
        const QString folder = env.programFolder() + QStringLiteral("/Facturas de marzo");
        QVERIFY(QDir().mkpath(folder));
        const QString invoice = native(folder + QStringLiteral("/factura ñandú.xlsx"));
        QVERIFY(QFile::copy(kInvoice, invoice));

        oENTX::clEntorno entorno;
        QVERIFY(entorno.ExisteArchivo(invoice));
        QVERIFY(!entorno.ExisteArchivo(native(folder + QStringLiteral("/otra ñandú.xlsx"))));

        clEcxel excel;
        excel.setArchivo(invoice);
        excel.Abrir();
        QCOMPARE(excel.LeerCelda(2, 1), QStringLiteral("MT-500"));
        excel.CerrarArchivo();

        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        VERIFY_SCRIPT(script);
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente")), Qt::LeftButton);
        QCOMPARE(shared().iPaso, qint16(2));
        // The file dialog answers with forward slashes; the box shows the path as Windows writes it.
        script.expectOpenFile(TestEnv::workbookFilter(), QDir::fromNativeSeparators(invoice));
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(w.findChild<QLineEdit *>(QStringLiteral("FRAM2_TxtArchivo"))->text(), invoice);
        QVERIFY(invoice.contains(QLatin1Char('\\')) && !invoice.contains(QLatin1Char('/')));
        QCOMPARE(w.fram2()->model().rows(), 14);
        QCOMPARE(w.fram2()->model().text(2, 0), QStringLiteral("MT-500"));
        QCOMPARE(w.fram2()->model().text(2, 6), QStringLiteral("12,5"));
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
