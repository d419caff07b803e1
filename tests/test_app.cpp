// Start-up of the main window and the wizard's moves.
#include "Version.h"
#include "shared/DataFolder.h"
#include "shared/SharedState.h"
#include "ui/app/Translations.h"
#include "ui/app/frmMain.h"
#include "ui/process/ResultsPanel.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "import/FieldLabels.h"
#include "ui/import/SheetPanel.h"
#include "ui/shipments/ShipmentList.h"

#include <QAccessible>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QSet>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStackedWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "common/ReadOnlyFile.h"

class TestApp : public QObject {
    Q_OBJECT

private:
    static QString labelText(const frmMain &w, const char *name)
    {
        auto *label = w.findChild<QLabel *>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    }
    static QPushButton *button(const frmMain &w, const char *name)
    {
        return w.findChild<QPushButton *>(QString::fromLatin1(name));
    }
    static QWidget *currentFrame(const frmMain &w)
    {
        return w.findChild<QStackedWidget *>()->currentWidget();
    }

private slots:
    // Qt's standard dialogs speak the operator's language; an English locale keeps English.
    void standardDialogsFollowTheLocale()
    {
        QVERIFY(installQtTranslations(QLocale(QLocale::Spanish, QLocale::Argentina)));
        {
            QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
            QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("Aceptar"));
            QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
            QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Ver en:"));
        }
        installQtTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"));
    }

    // Assistive technology reads the counts and the message line as they stand, and tells every
    // button, list and grid of the main window apart by its name.
    void resultsReadableByAssistiveTechnology()
    {
        TestEnv env;
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        shared().sInternoActual = QStringLiteral("26001IC04000123");
        w.fram3()->FRAM3_CargarEstadisticas();
        auto *total = w.findChild<QLabel *>(QStringLiteral("FRAM3_lbTotal"));
        QAccessibleInterface *count = QAccessible::queryAccessibleInterface(total);
        QVERIFY(count);
        const QString before = count->text(QAccessible::Name);
        QCOMPARE(before, total->text());
        QCOMPARE(count->text(QAccessible::Description), QStringLiteral("Total de Registros"));
        total->setText(QStringLiteral("0042"));
        QCOMPARE(count->text(QAccessible::Name), QStringLiteral("0042"));
        w.setCaption(QStringLiteral("Fin de Proceso"));
        QAccessibleInterface *line = QAccessible::queryAccessibleInterface(w.findChild<QLabel *>("Main_lbMensaje"));
        QCOMPARE(line->text(QAccessible::Name), QStringLiteral("Fin de Proceso"));

        QSet<QString> names;
        const QList<QWidget *> controls = w.findChildren<QWidget *>();
        for (QWidget *control : controls) {
            // The window's own controls; the parts Qt builds inside a view (headers, corner button) are not.
            if (control->objectName().isEmpty() || control->objectName().startsWith(QLatin1String("qt_")))
                continue;
            if (!qobject_cast<QAbstractButton *>(control) && !qobject_cast<QAbstractItemView *>(control))
                continue;
            const QString name = QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(!names.contains(name), qPrintable(name + " names two controls"));
            names.insert(name);
        }
        QVERIFY(names.contains(QStringLiteral("Lista de datos con errores")));
        QVERIFY(names.contains(QStringLiteral("Impresión de registros OK")));
        QVERIFY(names.contains(QStringLiteral("Lista de internos")));
    }

    // Where the databases live: a portable copy beside the program, the per-user folder seeded
    // once from the installed data, or PLANEXO_DATA; the chosen folder works for start-up.
    void dataFolderChoice()
    {
        QTemporaryDir root;
        const QString installed = root.filePath("share/planexo");
        QVERIFY(QDir().mkpath(installed + "/db"));
        for (const QString &name : QDir(PLANEXO_BUILD_DB_DIR).entryList(QDir::Files))
            QVERIFY(QFile::copy(QString(PLANEXO_BUILD_DB_DIR "/") + name, installed + "/db/" + name));
        const QString bin = root.filePath("bin");
        QVERIFY(QDir().mkpath(bin));
        const QString user = root.filePath("home/.local/share/Planexo");

        // Installed: nothing beside the program, so the user's folder is made from the installed data.
        datafolder::Places places{bin, installed, user, QString(), {}};
        QString problem;
        QCOMPARE(datafolder::choose(places, &problem), user);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(QFile::exists(user + "/db/PlanexoGenericoOstrova.sqlite"));
        QVERIFY(QFile::exists(user + "/db/calvera.ini"));
        QVERIFY(QFileInfo(user + "/db/PlanexoGenericoOstrova.sqlite").permissions() & QFileDevice::WriteOwner);

#ifdef Q_OS_UNIX
        // The user's folder is the user's alone, reopened by an earlier version or not.
        const auto openToOthers = [](const QString &path) {
            return int(QFileInfo(path).permissions() & 0x77);
        };
        QCOMPARE(openToOthers(user), 0);
        QVERIFY(QFile::setPermissions(user, QFileInfo(user).permissions() | QFileDevice::ReadOther |
                                                QFileDevice::ExeOther));
#endif
        // A second start keeps what the user's folder holds.
        QFile mark(user + "/db/calvera.ini");
        QVERIFY(mark.open(QIODevice::Append));
        mark.write("; edited\n");
        mark.close();
        QCOMPARE(datafolder::choose(places, &problem), user);
        QFile again(user + "/db/calvera.ini");
        QVERIFY(again.open(QIODevice::ReadOnly));
        QVERIFY(again.readAll().endsWith("; edited\n"));

        // The seeded folder starts the program.
        {
            TestEnv env; // private settings
            ScriptedInteraction script;
            frmMain w(user);
            w.Form_Load();
            VERIFY_SCRIPT(script);
            QCOMPARE(shared().iPaso, qint16(1));
            QVERIFY(w.fram1()->list()->topLevelItemCount() > 0);
        }
#ifdef Q_OS_UNIX
        QCOMPARE(openToOthers(user), 0);
        // Every file there, the work database's journal files included.
        const QStringList files = QDir(user + "/db").entryList(QDir::Files);
        QVERIFY2(files.contains("calvera.ini") && files.size() >= 4, qPrintable(files.join(' ')));
        for (const QString &name : files)
            QVERIFY2(!openToOthers(user + "/db/" + name), qPrintable(name));
#endif

        // A portable copy: db/ beside a writable program folder is used as it is.
        QVERIFY(QDir().mkpath(bin + "/db"));
        QCOMPARE(datafolder::choose(places, &problem), bin);
        QVERIFY(datafolder::writable(bin));

        // A copy on a read-only share: the user's folder, made from the copy when nothing is installed.
        const QString share = root.filePath("share-ro");
        QVERIFY(QDir().mkpath(share + "/db"));
        QVERIFY(QFile::copy(installed + "/db/calvera.ini", share + "/db/calvera.ini"));
        datafolder::Places readOnly{share, root.filePath("none"), root.filePath("user2"), QString(),
                                    [](const QString &) { return false; }};
        QCOMPARE(datafolder::choose(readOnly, &problem), root.filePath("user2"));
        QVERIFY(QFile::exists(root.filePath("user2/db/calvera.ini")));
#ifdef Q_OS_UNIX
        if (geteuid() != 0) { // root writes anywhere
            QVERIFY(QFile::setPermissions(share, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            QVERIFY(!datafolder::writable(share));
            QFile::setPermissions(share, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
#endif

        // PLANEXO_DATA wins, and an empty folder named there is seeded too.
        places.override = root.filePath("elsewhere");
        QCOMPARE(datafolder::choose(places, &problem), places.override);
        QVERIFY(QFile::exists(places.override + "/db/calvera_ncm.sqlite"));

        // A build folder: its db/ holds the runs made there, so a new folder is made from the pristine
        // copy beside it, and never from db/, even with no pristine copy.
        const QString build = root.filePath("build");
        const auto write = [](const QString &path, const QByteArray &text) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
        QVERIFY(QDir().mkpath(build + "/db") && QDir().mkpath(build + "/db-pristine"));
        QVERIFY(write(build + "/db/calvera.ini", "; DEMO-CI\n"));
        QVERIFY(write(build + "/db-pristine/calvera.ini", "; demo\n"));
        datafolder::Places fromBuild{
            build, root.filePath("none"), root.filePath("user3"), root.filePath("named"), {}};
        QCOMPARE(datafolder::choose(fromBuild, &problem), root.filePath("named"));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QFile seeded(root.filePath("named/db/calvera.ini"));
        QVERIFY(seeded.open(QIODevice::ReadOnly));
        QCOMPARE(seeded.readAll(), QByteArray("; demo\n"));
        QVERIFY(QDir(build + "/db-pristine").removeRecursively());
        fromBuild.override = root.filePath("named2");
        QCOMPARE(datafolder::choose(fromBuild, &problem), root.filePath("named2"));
        QVERIFY(problem.contains(QDir::toNativeSeparators(root.filePath("named2"))));
        QVERIFY(!QFile::exists(root.filePath("named2/db/calvera.ini")));

        // Nothing installed and nothing beside the program: the failure names the folder.
        datafolder::Places bare{root.filePath("nobin"), root.filePath("none"), root.filePath("fresh"), QString(), {}};
        QCOMPARE(datafolder::choose(bare, &problem), root.filePath("fresh"));
        QVERIFY(problem.contains(QDir::toNativeSeparators(root.filePath("fresh"))));
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // The real program, offscreen, ends with status 0 through "Cancelar" on each step and through
    // closing its window: its connections close before the application goes. Its data folder,
    // named by PLANEXO_DATA and empty, is made from the build's pristine demo databases, not from
    // the db/ the build folder's own runs have written.
    void programEndsCleanly_data()
    {
        QTest::addColumn<QString>("plan");
        QTest::addColumn<QString>("lastStep");
        QTest::newRow("Cancelar on step 1") << "cancel1"
                                            << "Paso 1";
        QTest::newRow("Cancelar on step 2") << "cancel2"
                                            << "Paso 2";
        QTest::newRow("Cancelar on step 3") << "cancel3"
                                            << "Paso 3";
        QTest::newRow("window closed") << "close"
                                       << "Paso 1";
    }
    void programEndsCleanly()
    {
#if defined(PLANEXO_EXE) && defined(PLANEXO_DRIVE_LIB)
        QFETCH(QString, plan);
        QFETCH(QString, lastStep);
        QTemporaryDir data, config;
        if (plan == QLatin1String("cancel3")) {
            // Step 3 without a process: a shipment that has articles goes straight there.
            QVERIFY(QDir().mkpath(data.filePath("db")));
            for (const QString &name : QDir(PLANEXO_BUILD_DB_DIR).entryList(QDir::Files))
                QVERIFY(QFile::copy(QString(PLANEXO_BUILD_DB_DIR "/") + name, data.filePath("db/" + name)));
            {
                QSqlDatabase db =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seed"));
                db.setDatabaseName(data.filePath("db/PlanexoGenericoOstrova.sqlite"));
                QVERIFY(db.open());
                QSqlQuery q(db);
                QVERIFY(
                    q.exec(QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO) values "
                                          "('26001IC04000123', 1, 'MT-1'), ('26001IC04000123', 2, 'MT-2')")));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("seed"));
        }
        QProcess program;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("PLANEXO_DATA"), data.path());
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        e.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(PLANEXO_DRIVE_LIB));
        e.insert(QStringLiteral("PLANEXO_DRIVE"), plan);
        // Under AddressSanitizer the preloaded driver comes before its runtime, which is harmless.
        const QString asan = e.value(QStringLiteral("ASAN_OPTIONS"));
        e.insert(QStringLiteral("ASAN_OPTIONS"), (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) +
                                                     QStringLiteral("verify_asan_link_order=0"));
        program.setProcessEnvironment(e);
        program.start(QStringLiteral(PLANEXO_EXE), {});
        QVERIFY(program.waitForStarted());
        QVERIFY2(program.waitForFinished(60000), "the program did not end");
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("drive: paso: ") + lastStep), qPrintable(err));
        QVERIFY2(err.contains(plan == QLatin1String("close")
                                  ? QStringLiteral("drive: closing the main window")
                                  : QStringLiteral("drive: pressed Command4 (Cancelar)")),
                 qPrintable(err));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 0,
                 qPrintable(QStringLiteral("exit code %1\n").arg(program.exitCode()) + err));

        // The folder's shipments are the demo's, whatever the build folder's db/ holds.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seeded"));
        db.setDatabaseName(data.filePath("db/PlanexoGenericoOstrova.sqlite"));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("select group_concat(INTNRO) from INTN")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("26001IC04000123"));
        q = QSqlQuery();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("seeded"));
#else
        QSKIP("the program is driven through LD_PRELOAD, which this platform lacks");
#endif
    }

    void startsOnDemoWithEmptySettings()
    {
        TestEnv env;
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        VERIFY_SCRIPT(script);
        const SharedState &s = shared();
        QCOMPARE(s.iPaso, qint16(1));
        QVERIFY(s.INTDUN.isEmpty() && s.INTCAT.isEmpty() && s.PRCESM.isEmpty() && s.AA_MARCA.isEmpty());
        QCOMPARE(s.PRECIO_UNITARIO, 0.0);
        QCOMPARE(labelText(w, "lbVersion"), QStringLiteral("Versión: %1.%2.%3 - %4")
                                                .arg(planexo::version::major)
                                                .arg(planexo::version::minor)
                                                .arg(planexo::version::revision)
                                                .arg(QString::fromUtf8(planexo::version::description)));
        QCOMPARE(labelText(w, "Label1"), QStringLiteral("PLANEXO GENERICO (OSTROVA)"));
        QCOMPARE(labelText(w, "lbPasoNro"), QStringLiteral("Paso 1"));
        QCOMPARE(labelText(w, "lbPasoDesc"), QStringLiteral("Seleccione el interno a procesar"));
        QCOMPARE(button(w, "cmdSiguiente")->text(), QStringLiteral("Siguiente >"));
        QCOMPARE(button(w, "Command4")->text(), QStringLiteral("Cancelar"));
        QCOMPARE(button(w, "cmdConfig")->text(), QStringLiteral("Configur."));
        QCOMPARE(currentFrame(w)->objectName(), QStringLiteral("FRAM1"));
        QCOMPARE(w.fram1()->list()->topLevelItemCount(), 1);
        QVERIFY(!w.barVisible());
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        // 9795 by 6975 twips: never smaller than 15 twips to the pixel, larger with a larger font.
        // A window larger than the screen scrolls its controls on a canvas of the designed size.
        const auto *canvas = w.findChild<QWidget *>(QStringLiteral("twipsCanvas"));
        const QSize designed = canvas ? canvas->size() : w.size();
        QVERIFY(designed.width() >= 653);
        QVERIFY(qAbs(designed.width() * 6975.0 / 9795.0 - designed.height()) <= 1.0);
        const QSize available = w.screen()->availableGeometry().size();
        QVERIFY(w.width() <= available.width() && w.height() <= available.height());
        // The Calvera entities and the work database are reachable.
        QVERIFY(s.gestor->isOpen());
        QVERIFY(s.enlace->getDataConnectionByEntity(QStringLiteral("NCM")).isOpen());
    }

    void readsSettingsInEitherLocale_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("expected");
        QTest::newRow("comma") << true << QStringLiteral("5,5") << 5.5;
        QTest::newRow("point") << false << QStringLiteral("5.5") << 5.5;
        QTest::newRow("integer") << true << QStringLiteral("12") << 12.0;
    }
    void readsSettingsInEitherLocale()
    {
        QFETCH(bool, comma);
        QFETCH(QString, stored);
        QFETCH(double, expected);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        TestEnv env;
        env.setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
        env.setSetting(QStringLiteral("INTCAT"), QStringLiteral("001"));
        env.setSetting(QStringLiteral("PRCESM"), QStringLiteral("1"));
        env.setSetting(QStringLiteral("AA_MARCA"), QStringLiteral("GENÉRICA"));
        env.setSetting(QStringLiteral("PRECIO_UNITARIO"), stored);
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        VERIFY_SCRIPT(script);
        const SharedState &s = shared();
        QCOMPARE(s.INTDUN, QStringLiteral("07"));
        QCOMPARE(s.INTCAT, QStringLiteral("001"));
        QCOMPARE(s.PRCESM, QStringLiteral("1"));
        QCOMPARE(s.AA_MARCA, QStringLiteral("GENÉRICA"));
        QCOMPARE(s.PRECIO_UNITARIO, expected);
        QCOMPARE(s.iPaso, qint16(1));
    }

    void nonNumericPriceFailsAtStep140()
    {
        TestEnv env;
        env.setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
        env.setSetting(QStringLiteral("PRECIO_UNITARIO"), QStringLiteral("abc"));
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("No coinciden los tipos\r\n\r\n13 - seccion[Planexo.frmMain.Form_Load Linea "
                                            "140 ]::Planexo"),
                             Interaction::Icon::None);
        frmMain w(env.programFolder());
        w.Form_Load();
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(0));
        QCOMPARE(shared().INTDUN, QStringLiteral("07")); // read before the failing step
        // The wizard is inert: the next-step button does nothing.
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(currentFrame(w)->objectName(), QStringLiteral("FRAM1"));
        QCOMPARE(labelText(w, "lbPasoNro"), QStringLiteral("Paso 1"));
    }

    void missingWorkDatabaseFailsAtStep90()
    {
        TestEnv env;
        env.setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
        const QString file = env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite"));
        QVERIFY(QFile::remove(file));
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("No se pudo encontrar el archivo '%1'.\r\n\r\n-2147467259 - "
                                            "seccion[Planexo.frmMain.Form_Load Linea 90 ]::oAlm.clGestor.Conectar")
                                 .arg(file),
                             Interaction::Icon::None);
        frmMain w(env.programFolder());
        w.Form_Load();
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(0));
        // The settings come after the list, so nothing was read.
        QVERIFY(shared().INTDUN.isEmpty());
        QCOMPARE(w.fram1()->list()->topLevelItemCount(), 0);
        QVERIFY(!QFile::exists(file));
        w.MAIN_CambiarPaso();
        VERIFY_SCRIPT(script);
    }

    void unreadableWorkDatabaseFailsAtStep90()
    {
        TestEnv env;
        QFile file(env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("this is not a database, just text that fills the first page of the file........");
        file.close();
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        QCOMPARE(script.log().size(), 1);
        QVERIFY2(script.log().first().contains(QStringLiteral("Form_Load Linea 90 ]::")), qPrintable(script.log().first()));
        QCOMPARE(shared().iPaso, qint16(0));
    }

    // A work database that may not be written opens for viewing; the first write says why it fails.
    void readOnlyWorkDatabaseOpensForViewing_data()
    {
        QTest::addColumn<bool>("wal");
        QTest::newRow("as shipped") << false;
        QTest::newRow("after a run in WAL mode") << true;
    }
    void readOnlyWorkDatabaseOpensForViewing()
    {
        QFETCH(bool, wal);
        TestEnv env;
        const QString file = env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite"));
        if (wal) {
            env.connect();
            shared().gestor.reset();
        }
        ReadOnlyFile readOnly(file);
        if (!readOnly.holds()) QSKIP("the file system cannot make the file read-only for root");
        QVERIFY(!QFileInfo(file).isWritable());
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(1));
        QCOMPARE(w.fram1()->list()->topLevelItemCount(), 1);
        const QString count = QStringLiteral("select count(*) as n from INTN");
        Recordset rs;
        shared().gestor->Sql = count;
        QVERIFY(shared().gestor->CrearRs(rs));
        const int shipments = rs.Fields(QStringLiteral("n")).toInt();

        shared().gestor->Sql = QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('RO-1', 'nuevo')");
        try {
            shared().gestor->Ejecutar();
            QFAIL("a read-only database took a write");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(),
                     QStringLiteral("No se pueden guardar cambios: la base de datos '%1' es de solo lectura.")
                         .arg(QDir::toNativeSeparators(file))); // as the system writes paths
            QCOMPARE(e.number(), -2147221504L + 8);
        }
        shared().gestor->Sql = count;
        QVERIFY(shared().gestor->CrearRs(rs));
        QCOMPARE(rs.Fields(QStringLiteral("n")).toInt(), shipments);
        if (!wal) QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
    }

    void missingParametersFailAtStep70()
    {
        TestEnv env;
        QVERIFY(QFile::remove(env.dbFile(QStringLiteral("calvera.ini"))));
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        QCOMPARE(script.log().size(), 1);
        QVERIFY2(script.log().first().contains(QStringLiteral("calvera.ini")), qPrintable(script.log().first()));
        QVERIFY(script.log().first().contains(QStringLiteral("Form_Load Linea 70 ]::EnlaceDatos.EDMain.LoadParameters")));
        QCOMPARE(shared().iPaso, qint16(0));
        QVERIFY(!shared().gestor->isOpen());
    }

    void emptyListWarns()
    {
        TestEnv env;
        env.connect();
        env.exec(QStringLiteral("delete from INTN"));
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral("Debe seleccionar un interno para continuar, presione [ INSERT ] para crear uno."),
            Interaction::Icon::Exclamation);
        frmMain w(env.programFolder());
        w.Form_Load();
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(1));
        QVERIFY(shared().sInternoActual.isEmpty());
        QCOMPARE(currentFrame(w)->objectName(), QStringLiteral("FRAM1"));
        QVERIFY(button(w, "cmdSiguiente")->isEnabled());
    }

    void stepOneToTwoWithoutArticles()
    {
        TestEnv env;
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(2));
        QCOMPARE(shared().sInternoActual, QStringLiteral("26001IC04000123"));
        QCOMPARE(currentFrame(w)->objectName(), QStringLiteral("FRAM2"));
        QVERIFY(!w.fram1()->isEnabled());
        QVERIFY(!button(w, "cmdSiguiente")->isEnabled());
        QCOMPARE(labelText(w, "lbPasoNro"), QStringLiteral("Paso 2"));
        QCOMPARE(labelText(w, "lbPasoDesc"), QStringLiteral("Abrir archivo excel para procesar"));
        QCOMPARE(w.siguienteTag(), QString());
        QCOMPARE(labelText(w, "Main_lbMensaje"), QString());
    }

    void shipmentWithArticlesGoesStraightToStepThree()
    {
        TestEnv env;
        env.connect();
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('B7', 'con articulos')"));
        env.exec(QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO, PRCEST, PRCCRC) values ('B7',1,'X','A','OK')"));
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        QTreeWidget *list = w.fram1()->list();
        list->setCurrentItem(list->findItems(QStringLiteral("B7"), Qt::MatchExactly).value(0));
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        QCOMPARE(shared().sInternoActual, QStringLiteral("B7"));
        QVERIFY(button(w, "cmdSiguiente")->isEnabled());
        QCOMPARE(w.siguienteTag(), QStringLiteral("OK"));
        QCOMPARE(labelText(w, "Main_lbMensaje"),
                 QStringLiteral("Este interno contiene registros haga click en SIGUIENTE, para depurar."));
        // No verification or process: straight to the results.
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(3));
        QCOMPARE(currentFrame(w)->objectName(), QStringLiteral("FRAM3"));
        QVERIFY(!w.fram2()->isEnabled());
        QCOMPARE(labelText(w, "lbPasoNro"), QStringLiteral("Paso 3"));
        QCOMPARE(labelText(w, "lbPasoDesc"), QStringLiteral("Depuración de Datos procesadoss"));
        QCOMPARE(labelText(w, "Main_lbMensaje"), QString());
        QCOMPARE(button(w, "cmdSiguiente")->text(), QStringLiteral("Transferir"));
        QVERIFY(button(w, "cmdSiguiente")->font().bold());
        QCOMPARE(labelText(w, "FRAM3_lbTotal"), QStringLiteral("0001"));
    }

    void countFailureStaysOnStepTwo()
    {
        TestEnv env;
        env.connect();
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        shared().gestor->Sql = QStringLiteral("drop table ART");
        shared().gestor->Ejecutar();
        script.expectMessage(QStringLiteral("no such table: ART\r\n\r\n1"), Interaction::Icon::None);
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(2));
        QCOMPARE(currentFrame(w)->objectName(), QStringLiteral("FRAM2"));
        QVERIFY(!button(w, "cmdSiguiente")->isEnabled());
    }

    void configOpensFromEveryStepAndCancelCloses()
    {
        TestEnv env;
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        script.expectModal(QStringLiteral("frmConfig"), [](QDialog &d) {
            return d.windowTitle() == QStringLiteral("Configuración") ? 1 : 0;
        });
        QTest::mouseClick(button(w, "cmdConfig"), Qt::LeftButton);
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        script.expectModal(QStringLiteral("frmConfig"), [](QDialog &) { return 0; });
        QTest::mouseClick(button(w, "cmdConfig"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QVERIFY(w.isVisible());
        QTest::mouseClick(button(w, "Command4"), Qt::LeftButton);
        QVERIFY(!w.isVisible());
    }
    // The whole road of an invoice: configure, choose the shipment, load and map the demo
    // invoice, teach an unknown origin, process, and read the six counts.
    void demoInvoiceEndToEnd()
    {
        TestEnv::useComma();
        TestEnv env;
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();

        // Nothing configured yet: the process refuses to start.
        script.expectModal(QStringLiteral("frmConfig"), [](QDialog &d) {
            auto *unit = d.findChild<QComboBox *>(QStringLiteral("cboUnidad"));
            unit->setCurrentIndex(unit->findText(QStringLiteral("UNIDAD")));
            auto *catalogue = d.findChild<QComboBox *>(QStringLiteral("cboCatalogo"));
            catalogue->setCurrentIndex(catalogue->findText(QStringLiteral("[001] FERRETERIA DEL SUR S.A.")));
            auto *state = d.findChild<QLineEdit *>(QStringLiteral("txtEstadoMerc"));
            QTest::keyClicks(state, QStringLiteral("1"));
            auto *brand = d.findChild<QLineEdit *>(QStringLiteral("txt_Marca"));
            QTest::keyClicks(brand, QStringLiteral("GENERICA"));
            QTest::keyClick(brand, Qt::Key_Escape);
            return d.result();
        });
        QTest::mouseClick(button(w, "cmdConfig"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().INTDUN, QStringLiteral("07"));
        QCOMPARE(shared().INTCAT, QStringLiteral("001"));
        QCOMPARE(env.setting(QStringLiteral("PRCESM")), QStringLiteral("1"));

        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        QCOMPARE(shared().iPaso, qint16(2));
        const QString invoice = QStringLiteral(PLANEXO_TEST_DATA_DIR "/../../db/demo/factura_demo.xlsx");
        script.expectOpenFile(TestEnv::workbookFilter(), invoice);
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
        QVERIFY(button(w, "cmdSiguiente")->isEnabled());
        SheetGridModel &grid = w.fram2()->model();
        QCOMPARE(grid.rows(), 14);
        QCOMPARE(grid.text(2, 0), QStringLiteral("MT-500"));
        QCOMPARE(grid.text(2, 6), QStringLiteral("12,5")); // numbers read in the user's locale

        // Map the columns with F1 as the operator does.
        QTableView *view = w.fram2()->grid();
        auto mapColumn = [&](int column, const QString &label) {
            view->setCurrentIndex(grid.index(2, column));
            script.expectModal(QStringLiteral("frmCampos"), [label](QDialog &d) {
                auto *list = d.findChild<QComboBox *>(QStringLiteral("cboCampos"));
                list->setCurrentIndex(list->findText(label));
                QTest::keyClick(list, Qt::Key_Return);
                return d.result();
            });
            QTest::keyClick(view, Qt::Key_F1);
        };
        mapColumn(0, fieldlabels::CodArticulo);
        mapColumn(1, fieldlabels::DescrModelo);
        mapColumn(2, fieldlabels::Cantidad);
        mapColumn(4, fieldlabels::PTotal);
        mapColumn(5, fieldlabels::Origen);
        mapColumn(6, fieldlabels::KgNeto);
        VERIFY_SCRIPT(script);
        QCOMPARE(grid.text(1, 5), fieldlabels::Origen);

        script.expectMessage(QStringLiteral("Pais REP. POPULAR CHINA no reconocido"), Interaction::Icon::Critical);
        script.expectModal(QStringLiteral("frmRelPais"), [](QDialog &d) {
            auto *country = d.findChild<QComboBox *>(QStringLiteral("cboPais"));
            country->setCurrentIndex(country->findText(QStringLiteral("CHINA (310)")));
            QTest::keyClick(d.findChild<QLineEdit *>(QStringLiteral("txtValor")), Qt::Key_F11);
            return d.result();
        });
        QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(3));
        QCOMPARE(labelText(w, "Main_lbMensaje"), QStringLiteral("Fin de Proceso"));
        QVERIFY(!w.barVisible());
        QCOMPARE(labelText(w, "FRAM3_lbTotal"), QStringLiteral("0012"));
        QCOMPARE(labelText(w, "FRAM3_lbEnCatalogo"), QStringLiteral("0006"));
        QCOMPARE(labelText(w, "FRAM3_lbNuevos"), QStringLiteral("0003"));
        QCOMPARE(labelText(w, "FRAM3_lbErroneos"), QStringLiteral("0003"));
        QCOMPARE(labelText(w, "FRAM3_lbErrPos"), QStringLiteral("0001"));
        QCOMPARE(labelText(w, "FRAM3_lbErrSuf"), QStringLiteral("0001"));
        // The taught relation and the stored numbers.
        QCOMPARE(env.scalar(QStringLiteral("select ORI from ORG where PAI = 'REP. POPULAR CHINA'")).toString(),
                 QStringLiteral("310"));
        QCOMPARE(env.scalar(QStringLiteral("select ARTTKG from ART where ARTNRO = 'MT-500'")).toDouble(), 12.5);
        QCOMPARE(env.scalar(QStringLiteral("select PRCCRC from ART where ARTNRO = 'LL-10'")).toString(),
                 QStringLiteral("POS"));
        QCOMPARE(env.scalar(QStringLiteral("select PRCDUN from ART where ARTNRO = 'ZP-42'")).toString(),
                 QStringLiteral("08"));
    }
};

QTEST_MAIN(TestApp)
#include "test_app.moc"
