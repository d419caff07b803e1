// The shipment list of step 1 and the new shipment dialog, through the real widgets and keys.
#include "shared/SharedState.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "ui/shipments/ShipmentList.h"
#include "ui/shipments/frmInterno.h"

#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

class TestShipments : public QObject {
    Q_OBJECT

private:
    static QStringList listed(const ShipmentList &list)
    {
        QStringList out;
        for (int i = 0; i < list.list()->topLevelItemCount(); ++i)
            out << list.list()->topLevelItem(i)->text(0) + QLatin1Char('|') + list.list()->topLevelItem(i)->text(1);
        return out;
    }

    // QTest types ASCII only; other text is inserted as an input method would.
    static void typeInto(QLineEdit *box, const QString &text)
    {
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() < 128;
        if (ascii)
            QTest::keyClicks(box, text);
        else
            box->insert(text);
    }

    // Types into the dialog's boxes and presses the keys given, then hands back the result.
    static ScriptedInteraction::ModalDriver typeAndPress(const QString &number, const QString &description,
                                                        QList<Qt::Key> keys)
    {
        return [=](QDialog &dialog) {
            dialog.show();
            auto *txtInterno = dialog.findChild<QLineEdit *>(QStringLiteral("txtInterno"));
            auto *txtDescripcion = dialog.findChild<QLineEdit *>(QStringLiteral("txtDescripcion"));
            if (!txtInterno || !txtDescripcion)
                return -1;
            typeInto(txtInterno, number);
            typeInto(txtDescripcion, description);
            for (Qt::Key key : keys)
                QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : txtInterno, key);
            return dialog.isVisible() ? -2 : dialog.result();
        };
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void fillsInDatabaseTextOrder()
    {
        TestEnv env;
        env.connect();
        env.exec(QStringLiteral("delete from INTN"));
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('9','nueve'),('10',NULL),('B','be')"));
        ShipmentList list;
        list.FRAM1_CargarInternos();
        QCOMPARE(listed(list), (QStringList{QStringLiteral("10|"), QStringLiteral("9|nueve"), QStringLiteral("B|be")}));
        QVERIFY(!list.list()->topLevelItem(0)->icon(0).isNull());
        QCOMPARE(list.list()->headerItem()->text(0), QStringLiteral("Interno"));
        QCOMPARE(list.list()->headerItem()->text(1), QStringLiteral("Descripcion"));
        // A refill replaces every item.
        list.FRAM1_CargarInternos();
        QCOMPARE(list.list()->topLevelItemCount(), 3);
    }

    void fillFailureShowsMessage()
    {
        TestEnv env;
        env.connect();
        env.exec(QStringLiteral("drop table INTN"));
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("no such table: INTN\r\n\r\n1 - seccion [Planexo.frmMain.FRAM1_CargarInternos]"),
                             Interaction::Icon::Critical);
        ShipmentList list;
        list.FRAM1_CargarInternos();
        VERIFY_SCRIPT(script);
        QCOMPARE(list.list()->topLevelItemCount(), 0);
    }

    void insertCreatesAndRefreshes()
    {
        TestEnv env;
        env.connect();
        ShipmentList list;
        list.FRAM1_CargarInternos();
        ScriptedInteraction script;
        script.expectModal(QStringLiteral("frmInterno"), typeAndPress(QStringLiteral("4711"), QString(), {Qt::Key_F11}));
        QTest::keyClick(list.list(), Qt::Key_Insert);
        VERIFY_SCRIPT(script);
        QVERIFY(shared().bInternoNuevo);
        // An empty description takes the number.
        QCOMPARE(env.scalar(QStringLiteral("select INTDSC from INTN where INTNRO = '4711'")).toString(),
                 QStringLiteral("4711"));
        QVERIFY(listed(list).contains(QStringLiteral("4711|4711")));
    }

    void dialogStoresTextsAsTyped()
    {
        TestEnv env;
        env.connect();
        ScriptedInteraction script;
        // Quotes become blanks; blanks around the number stay; any Unicode text is kept.
        script.expectModal(QStringLiteral("frmInterno"),
                           typeAndPress(QStringLiteral(" 12 "), QStringLiteral("L'Oréal ñ 🚢"), {Qt::Key_F11}));
        script.expectModal(QStringLiteral("frmInterno"),
                           typeAndPress(QStringLiteral("A'B"), QStringLiteral("x"), {Qt::Key_F11}));
        ShipmentList list;
        list.FRAM1_NuevoInterno();
        QCOMPARE(list.selectedShipment(), QStringLiteral(" 12 "));
        // The new shipment is selected, wherever the list sorts it: "Siguiente >" goes on with it.
        list.FRAM1_NuevoInterno();
        QCOMPARE(list.list()->indexOfTopLevelItem(list.list()->currentItem()), 2);
        QCOMPARE(list.selectedShipment(), QStringLiteral("A B"));
        VERIFY_SCRIPT(script);
        QCOMPARE(env.scalar(QStringLiteral("select INTDSC from INTN where INTNRO = ' 12 '")).toString(),
                 QStringLiteral("L Oréal ñ 🚢"));
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN where INTNRO = 'A B'")).toInt(), 1);
        QVERIFY(listed(list).contains(QStringLiteral(" 12 |L Oréal ñ 🚢")));
    }

    void blankNumberWarnsAndStays()
    {
        TestEnv env;
        env.connect();
        ScriptedInteraction script;
        script.expectModal(QStringLiteral("frmInterno"),
                           typeAndPress(QStringLiteral("   "), QStringLiteral("algo"), {Qt::Key_F11, Qt::Key_Escape}));
        script.expectMessage(QStringLiteral("Debe ingresar el número interno"), Interaction::Icon::Exclamation);
        ShipmentList list;
        list.FRAM1_CargarInternos();
        const QStringList before = listed(list);
        list.FRAM1_NuevoInterno();
        VERIFY_SCRIPT(script);
        QVERIFY(!shared().bInternoNuevo);
        QCOMPARE(listed(list), before);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN")).toInt(), 1);
    }

    void duplicateKeepsDialogOpen()
    {
        TestEnv env;
        env.connect();
        ScriptedInteraction script;
        QString descriptionAfter;
        script.expectModal(QStringLiteral("frmInterno"), [&](QDialog &dialog) {
            dialog.show();
            auto *number = dialog.findChild<QLineEdit *>(QStringLiteral("txtInterno"));
            QTest::keyClicks(number, QStringLiteral("26001IC04000123"));
            QTest::keyClick(number, Qt::Key_F11);
            const bool stillOpen = dialog.isVisible();
            descriptionAfter = dialog.findChild<QLineEdit *>(QStringLiteral("txtDescripcion"))->text();
            QTest::keyClick(number, Qt::Key_Escape);
            return stillOpen ? 1 : 0;
        });
        script.expectMessage(TestEnv::duplicateKeyText() +
                                 QStringLiteral("\r\n\r\n1555 - seccion [Planexo.frmInterno.NuevoInterno]"),
                             Interaction::Icon::Critical);
        ShipmentList list;
        list.FRAM1_NuevoInterno();
        VERIFY_SCRIPT(script);
        // The copied description stays in the open dialog; nothing was added.
        QCOMPARE(descriptionAfter, QStringLiteral("26001IC04000123"));
        QVERIFY(!shared().bInternoNuevo);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN")).toInt(), 1);
    }

    void escapeAddsNothing()
    {
        TestEnv env;
        env.connect();
        ScriptedInteraction script;
        script.expectModal(QStringLiteral("frmInterno"), typeAndPress(QStringLiteral("55"), QString(), {Qt::Key_Escape}));
        ShipmentList list;
        list.FRAM1_CargarInternos();
        list.FRAM1_NuevoInterno();
        VERIFY_SCRIPT(script);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN where INTNRO = '55'")).toInt(), 0);
        QCOMPARE(list.list()->topLevelItemCount(), 1);
    }

    void enterDoesNotSave()
    {
        TestEnv env;
        env.connect();
        ScriptedInteraction script;
        script.expectModal(QStringLiteral("frmInterno"),
                           typeAndPress(QStringLiteral("56"), QString(), {Qt::Key_Return, Qt::Key_Escape}));
        ShipmentList list;
        list.FRAM1_NuevoInterno();
        VERIFY_SCRIPT(script);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN where INTNRO = '56'")).toInt(), 0);
    }

    void deleteAsksAndRemovesArticles()
    {
        TestEnv env;
        env.connect();
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('A1','a'),('A2','b')"));
        env.exec(QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO) values ('A2',1,'X'),('A2',2,'Y'),('A1',1,'Z')"));
        ShipmentList list;
        list.FRAM1_CargarInternos();
        list.list()->setCurrentItem(list.list()->topLevelItem(2)); // A2
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Desea eliminar el Interno A2?"), Interaction::Icon::Question,
                             Interaction::Buttons::YesNo, Interaction::Answer::No);
        script.expectMessage(QStringLiteral("Desea eliminar el Interno A2?"), Interaction::Icon::Question,
                             Interaction::Buttons::YesNo, Interaction::Answer::Yes);
        QTest::keyClick(list.list(), Qt::Key_Delete);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = 'A2'")).toInt(), 2);
        QCOMPARE(list.list()->topLevelItemCount(), 3);
        QTest::keyClick(list.list(), Qt::Key_Delete);
        VERIFY_SCRIPT(script);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = 'A2'")).toInt(), 0);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN where INTNRO = 'A2'")).toInt(), 0);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = 'A1'")).toInt(), 1);
        QCOMPARE(listed(list), (QStringList{QStringLiteral("26001IC04000123|Herramientas - Ferretería del Sur"),
                                            QStringLiteral("A1|a")}));
    }

    void deleteOnEmptyListDoesNothing()
    {
        TestEnv env;
        env.connect();
        env.exec(QStringLiteral("delete from INTN"));
        ShipmentList list;
        list.FRAM1_CargarInternos();
        ScriptedInteraction script; // no prompt expected
        QTest::keyClick(list.list(), Qt::Key_Delete);
        VERIFY_SCRIPT(script);
    }

    void deleteOfVanishedShipmentKeepsItem()
    {
        TestEnv env;
        env.connect();
        ShipmentList list;
        list.FRAM1_CargarInternos();
        // Another program removed the row meanwhile: the item stays listed.
        env.exec(QStringLiteral("delete from INTN"));
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Desea eliminar el Interno 26001IC04000123?"), Interaction::Icon::Question,
                             Interaction::Buttons::YesNo, Interaction::Answer::Yes);
        list.FRAM1_EliminarInterno();
        VERIFY_SCRIPT(script);
        QCOMPARE(list.list()->topLevelItemCount(), 1);
    }

    void deleteFailureShowsMessage()
    {
        TestEnv env;
        env.connect();
        ShipmentList list;
        list.FRAM1_CargarInternos();
        env.exec(QStringLiteral("drop table ART"));
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Desea eliminar el Interno 26001IC04000123?"), Interaction::Icon::Question,
                             Interaction::Buttons::YesNo, Interaction::Answer::Yes);
        script.expectMessage(QStringLiteral("no such table: ART\r\n\r\n1 - seccion [Planexo.frmInterno.EliminarInterno]"),
                             Interaction::Icon::Critical);
        list.FRAM1_EliminarInterno();
        VERIFY_SCRIPT(script);
        QCOMPARE(list.list()->topLevelItemCount(), 1);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN")).toInt(), 1);
    }
};

QTEST_MAIN(TestShipments)
#include "test_shipments.moc"
