// The record lists window: what each list shows, in which order and colour, the hand-over of a row
// to the record editor, and how the step-3 buttons show the window.
#include "shared/SharedState.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "ui/process/ResultsPanel.h"
#include "ui/review/frmDEP.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

void connectShipment(TestEnv &env)
{
    env.connect();
    shared().sInternoActual = QStringLiteral("T1");
}

// One row of every kind, out of order, plus a row of another shipment that no list may show.
void fillShipment(TestEnv &env)
{
    env.exec(QStringLiteral(
        "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTORG, ARTCAN, ARTUNI, ARTTOT, PRCNCM, PRCEST, PRCCRC) values "
        "('T1', 1, 'A1', 'Valido', 'CN', 10, 2, 20, '8252.00.00.000B', 'A', 'OK'),"
        "('T1', 2, 'N2', 'Nuevo vacio', 'CN', 1, 1, 1, NULL, '', NULL),"
        "('T1', 3, 'S3', 'Sufijos', 'DE', 1, 1, 1, '8252.00.00.000B', 'E', 'SUF'),"
        "('T1', 4, 'N4', 'Nuevo nulo', NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
        "('T1', 5, 'P5', 'Posicion', 'US', 1, 1, 1, '9999.99.99.999Z', 'E', 'POS'),"
        "('T1', 6, 'M6', 'Corregido', 'CN', 1, 1, 1, '8252.00.00.000B', 'M', 'OK'),"
        "('T1', 7, 'O''7', 'Tornillo', NULL, 2.5, 1234.5, 3086.25, '8252.00.00.000B', 'E', 'ERR'),"
        "('T1', 8, 'A8', 'Sin grado', 'CN', 1, 1, 1, NULL, 'A', NULL),"
        "('T1', 9, 'P9', 'Posicion', 'US', 1, 1, 1, '1111.11.11.111X', 'E', 'POS'),"
        "('T1', 12, 'A12', 'Valido', 'CN', 1, 1, 1, '8252.00.00.000B', 'A', 'OK'),"
        "('T2', 1, 'X', 'Otro interno', NULL, NULL, NULL, NULL, NULL, NULL, NULL)"));
}

QStringList orders(const frmDEP &form)
{
    QStringList out;
    for (int i = 0; i < form.list()->topLevelItemCount(); ++i)
        out << form.list()->topLevelItem(i)->text(frmDEP::colOrden);
    return out;
}

QTreeWidgetItem *rowOf(const frmDEP &form, const QString &order)
{
    for (int i = 0; i < form.list()->topLevelItemCount(); ++i)
        if (form.list()->topLevelItem(i)->text(frmDEP::colOrden) == order)
            return form.list()->topLevelItem(i);
    return nullptr;
}

// The text colour of every column of a row, or an empty list when the row keeps the default.
QList<QColor> colours(const QTreeWidgetItem *item)
{
    QList<QColor> out;
    for (int c = 0; c < frmDEP::columnCount; ++c) {
        const QVariant v = item->data(c, Qt::ForegroundRole);
        if (v.isValid())
            out << v.value<QBrush>().color();
    }
    return out;
}

QList<QColor> all(const QColor &colour)
{
    return QList<QColor>(frmDEP::columnCount, colour);
}

const QColor darkRed(128, 0, 0);
const QColor darkBlue(0, 0, 128);
const QColor teal(0, 128, 128);

} // namespace

class TestRecLists : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void errorListRowsOrderAndColours()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        frmDEP form;
        form.CargarRegConErrores();
        // Null state sorts before the empty one, then "A" without grade, then "E" by grade, each by order.
        QCOMPARE(orders(form), (QStringList{"0004", "0002", "0008", "0007", "0005", "0009", "0003"}));
        QCOMPARE(colours(rowOf(form, "0004")), all(darkRed));
        QCOMPARE(colours(rowOf(form, "0002")), all(darkRed));
        for (const char *order : {"0008", "0007", "0005", "0009", "0003"})
            QCOMPARE(colours(rowOf(form, order)), all(darkBlue));
        QCOMPARE(form.list()->currentItem(), form.list()->topLevelItem(0));
    }

    void okListRowsOrderAndColours()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        frmDEP form;
        form.CargarRegOK();
        QCOMPARE(orders(form), (QStringList{"0001", "0006", "0012"}));
        QVERIFY(colours(rowOf(form, "0001")).isEmpty());
        QCOMPARE(colours(rowOf(form, "0006")), all(teal));
        QVERIFY(colours(rowOf(form, "0012")).isEmpty());
        // A refill replaces the rows, it does not add to them.
        form.CargarRegOK();
        QCOMPARE(form.list()->topLevelItemCount(), 3);
    }

    void columnTextsAndLayout_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::newRow("comma locale") << true;
        QTest::newRow("point locale") << false;
    }
    void columnTextsAndLayout()
    {
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        frmDEP form;
        form.CargarRegConErrores();
        QTreeWidget *list = form.list();
        QCOMPARE(form.windowTitle(), QStringLiteral("Resultados"));
        QCOMPARE(list->objectName(), QStringLiteral("lstDEP"));
        QCOMPARE(list->columnCount(), 10);
        const QStringList headers{"Orden",    "Articulo", "Descripción", "Origen", "Cantidad",
                                  "Unitario", "Total",    "Posición",    "Estado", "CRC"};
        const QList<int> widths{650, 1800, 3500, 600, 1440, 1440, 1440, 1600, 800, 1440};
        for (int c = 0; c < 10; ++c) {
            QCOMPARE(list->headerItem()->text(c), headers[c]);
            // In the twips' proportions, at whatever scale the font gives (1800 twips as reference, each
            // width rounded on its own).
            QVERIFY2(qAbs(list->columnWidth(c) - widths[c] * list->columnWidth(1) / 1800.0) <=
                         1.0 + widths[c] / 1800.0,
                     qPrintable(QStringLiteral("column %1: %2 px").arg(c).arg(list->columnWidth(c))));
            QCOMPARE(list->headerItem()->textAlignment(c) & Qt::AlignHorizontal_Mask, int(Qt::AlignLeft));
        }

        const QString dec = comma ? QStringLiteral(",") : QStringLiteral(".");
        QStringList texts;
        const QTreeWidgetItem *item = rowOf(form, "0007");
        QVERIFY(item);
        for (int c = 0; c < 10; ++c) {
            texts << item->text(c);
            QCOMPARE(item->textAlignment(c) & Qt::AlignHorizontal_Mask, int(Qt::AlignLeft));
        }
        QCOMPARE(texts, (QStringList{"0007", "O'7", "Tornillo", "", "2" + dec + "5", "1234" + dec + "5",
                                     "3086" + dec + "25", "8252.00.00.000B", "E", "ERR"}));
        // Null values show as empty text, not as zero.
        item = rowOf(form, "0004");
        for (int c = frmDEP::colOrigen; c <= frmDEP::colCRC; ++c)
            QCOMPARE(item->text(c), QString());
        QCOMPARE(rowOf(form, "0002")->text(frmDEP::colCantidad), QStringLiteral("1"));
    }

    void shipmentNumberIsQuoted()
    {
        TestEnv env;
        connectShipment(env);
        env.exec(QStringLiteral("insert into ART (INTNRO, ARTORD, PRCEST, PRCCRC) values "
                                "('O''NEIL', 3, 'M', 'OK'), ('O''NEIL', 4, NULL, NULL)"));
        shared().sInternoActual = QStringLiteral("O'NEIL");
        frmDEP form;
        form.CargarRegOK();
        QCOMPARE(orders(form), QStringList{"0003"});
        QCOMPARE(shared().gestor->Sql,
                 QStringLiteral("select * from ART where INTNRO = 'O''NEIL' and  PRCCRC = 'OK' order by ARTORD"));
        form.CargarRegConErrores();
        QCOMPARE(orders(form), QStringList{"0004"});
        QCOMPARE(shared().gestor->Sql,
                 QStringLiteral("select * from ART where INTNRO = 'O''NEIL' and (PRCEST = '' or PRCEST IS NULL or "
                                "PRCCRC <> 'OK' or PRCCRC is null) order by PRCEST,PRCCRC,ARTORD"));
    }

    // The list is filled by iModoLista when the window first shows, and not again when it is shown
    // while open.
    void loadsOnFirstShowOnly()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        for (int mode : {1, 2}) {
            shared().iModoLista = mode;
            frmDEP form;
            QCOMPARE(form.list()->topLevelItemCount(), 0);
            form.show();
            QCOMPARE(form.list()->topLevelItemCount(), mode == 1 ? 7 : 3);
            env.exec(QStringLiteral("update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'T1' and ARTORD = 4"));
            shared().iModoLista = 3 - mode;
            form.hide();
            form.show();
            QCOMPARE(form.list()->topLevelItemCount(), mode == 1 ? 7 : 3);
            env.exec(QStringLiteral("update ART set PRCEST = NULL, PRCCRC = NULL where INTNRO = 'T1' and ARTORD = 4"));
        }
    }

    void resizeLaysOutTheList()
    {
        TestEnv env;
        connectShipment(env);
        frmDEP form;
        form.show();
        // The filter line 40 twips from the top and left; the list below it, 40 twips from the left,
        // 90 twips less than the inner width, down to the key hint 50 twips above the bottom, at the
        // font's scale (2, 6 and 3 pixels at 15 twips to the pixel).
        form.resize(600, 300);
        auto *hint = form.findChild<QLabel *>(QStringLiteral("Label1"));
        QVERIFY(hint && hint->isVisible());
        QCOMPARE(hint->text(), QStringLiteral("[Ctrl+F] Filtrar - [Enter] Modificar - [F8] Historial - "
                                              "[Ctrl+A] Seleccionar todo - [Esc] Salir"));
        const int margin = form.list()->x();
        const int both = 600 - form.list()->width();
        const int top = form.list()->y();
        const int bottom = 300 - hint->geometry().bottom() - 1;
        const int below = 300 - top - form.list()->height();
        QVERIFY(margin >= 2 && both >= 6);
        QVERIFY(qAbs(both * 40.0 / 90.0 - margin) <= 1.0);
        QVERIFY(qAbs(both * 50.0 / 90.0 - bottom) <= 1.0);
        QCOMPARE(hint->x(), margin);
        QVERIFY(form.list()->geometry().bottom() < hint->y());
        QVERIFY(hint->height() >= hint->fontMetrics().height());
        QCOMPARE(form.filterBox()->y(), margin);
        QVERIFY(top >= form.filterBox()->geometry().bottom());
        form.resize(800, 500);
        QCOMPARE(form.list()->geometry(), QRect(margin, top, 800 - both, 500 - top - below));
        QCOMPARE(500 - hint->geometry().bottom() - 1, bottom);
        // Smaller than the margins: the list shrinks to nothing instead of failing.
        form.setMinimumSize(0, 0);
        form.resize(4, 4);
        QCOMPARE(form.list()->width(), 0);
        QCOMPARE(form.list()->height(), 0);
    }

    // Enter, keypad Enter or a double-click hands the selected row's order text to the editor with
    // sRetorno emptied; nothing is refilled unless the editor leaves "OK".
    void openingRowHandsOrderToEditor()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        shared().iModoLista = 1;
        frmDEP form;
        QStringList tags;
        QStringList retornoSeen;
        form.editor = [&](const QString &tag) {
            tags << tag;
            retornoSeen << shared().sRetorno;
            // A change the editor does not report as saved does not show until a refill.
            env.exec(QStringLiteral("update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'T1' and ARTORD = 3"));
        };
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTreeWidget *list = form.list();

        list->setCurrentItem(rowOf(form, "0005"));
        shared().sRetorno = QStringLiteral("leftover");
        QTest::keyClick(list, Qt::Key_Return);
        list->setCurrentItem(rowOf(form, "0009"));
        QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
        QTreeWidgetItem *row = rowOf(form, "0007");
        const QRect rect = list->visualItemRect(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());

        QCOMPARE(tags, (QStringList{"0005", "0009", "0007"}));
        QCOMPARE(retornoSeen, (QStringList{"", "", ""}));
        QCOMPARE(shared().sRetorno, QString());
        QCOMPARE(list->topLevelItemCount(), 7);
        QVERIFY(rowOf(form, "0003"));
    }

    // After a save the list is refilled by the mode in force at that moment: the corrected row leaves
    // the error list, and shows in teal in the OK list.
    void savedEditReloadsList()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        shared().iModoLista = 1;
        frmDEP form;
        form.editor = [&](const QString &tag) {
            env.exec(QStringLiteral("update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'T1' and ARTORD = ") +
                     QString::number(tag.toInt()));
            shared().sRetorno = QStringLiteral("OK");
        };
        form.show();
        form.list()->setCurrentItem(rowOf(form, "0002"));
        QTest::keyClick(form.list(), Qt::Key_Return);
        QCOMPARE(orders(form), (QStringList{"0004", "0008", "0007", "0005", "0009", "0003"}));

        // The other list's button was pressed meanwhile: the next refill shows records OK.
        shared().iModoLista = 2;
        form.list()->setCurrentItem(rowOf(form, "0003"));
        QTest::keyClick(form.list(), Qt::Key_Return);
        QCOMPARE(orders(form), (QStringList{"0001", "0002", "0003", "0006", "0012"}));
        QCOMPARE(colours(rowOf(form, "0002")), all(teal));
        QCOMPARE(colours(rowOf(form, "0003")), all(teal));
    }

    void emptyListOpensNothing()
    {
        TestEnv env;
        connectShipment(env);
        shared().iModoLista = 1;
        frmDEP form;
        int calls = 0;
        form.editor = [&](const QString &) { ++calls; };
        form.show();
        shared().sRetorno = QStringLiteral("kept");
        QCOMPARE(form.list()->topLevelItemCount(), 0);
        QTest::keyClick(form.list(), Qt::Key_Return);
        QTest::mouseDClick(form.list()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        form.AbrirRegistro();
        QCOMPARE(calls, 0);
        QCOMPARE(shared().sRetorno, QStringLiteral("kept"));
    }

    // A failing query ends the fill with the window's message and leaves the window usable.
    void fillFailureShowsMessage()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        frmDEP form;
        form.CargarRegOK();
        QCOMPARE(form.list()->topLevelItemCount(), 3);
        env.exec(QStringLiteral("alter table ART rename to ART_AWAY"));
        {
            ScriptedInteraction script;
            script.expectMessage(QStringLiteral("no such table: ART\r\n\r\n1 - seccion [Planexo.frmDEP.]"),
                                 Interaction::Icon::None);
            script.expectMessage(QStringLiteral("no such table: ART\r\n\r\n1 - seccion [Planexo.frmDEP.]"),
                                 Interaction::Icon::None);
            form.CargarRegConErrores();
            QCOMPARE(form.list()->topLevelItemCount(), 0);
            form.CargarRegOK();
            VERIFY_SCRIPT(script);
        }
        env.exec(QStringLiteral("alter table ART_AWAY rename to ART"));
        form.CargarRegConErrores();
        QCOMPARE(form.list()->topLevelItemCount(), 7);
    }

    // A correction saved in the editor opened from the list changes step 3's counts at once; an
    // editor closed without saving leaves them as they were.
    void savedCorrectionRefreshesTheCounts()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        ScriptedInteraction script;
        ResultsPanel panel;
        panel.show();
        panel.FRAM3_CargarEstadisticas();
        auto count = [&](const char *name) { return panel.findChild<QLabel *>(QLatin1String(name))->text(); };
        QCOMPARE(count("FRAM3_lbErroneos"), QStringLiteral("0004"));
        QTest::mouseClick(panel.findChild<QPushButton *>("FRAM3_cmdRegErr"), Qt::LeftButton);
        frmDEP *form = panel.recordList();
        QVERIFY(form);
        const auto correct = [&](int order, bool saved) {
            return [&env, order, saved](QDialog &dialog) {
                env.exec(QStringLiteral("update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'T1' and "
                                        "ARTORD = %1")
                             .arg(order));
                if (saved) shared().sRetorno = QStringLiteral("OK");
                dialog.done(saved ? QDialog::Accepted : QDialog::Rejected);
                return dialog.result();
            };
        };
        script.expectModal(QStringLiteral("frmModificar"), correct(3, false));
        form->list()->setCurrentItem(rowOf(*form, "0003"));
        QTest::keyClick(form->list(), Qt::Key_Return);
        QCOMPARE(count("FRAM3_lbErroneos"), QStringLiteral("0004"));
        script.expectModal(QStringLiteral("frmModificar"), correct(5, true));
        form->list()->setCurrentItem(rowOf(*form, "0005"));
        QTest::keyClick(form->list(), Qt::Key_Return);
        VERIFY_SCRIPT(script);
        QCOMPARE(count("FRAM3_lbErroneos"), QStringLiteral("0002"));
        QCOMPARE(count("FRAM3_lbErrPos"), QStringLiteral("0001"));
        QCOMPARE(count("FRAM3_lbErrSuf"), QStringLiteral("0000"));
        form->close();
    }

    // The two buttons of step 3 show one window, not modally; a second press only brings it
    // forward; closing it unloads it and the next press loads a new one.
    void panelButtonsShowOneWindow()
    {
        TestEnv env;
        connectShipment(env);
        fillShipment(env);
        ScriptedInteraction script; // no modal window and no message may appear
        ResultsPanel panel;
        panel.show();
        QVERIFY(!panel.recordList());

        QTest::mouseClick(panel.findChild<QPushButton *>("FRAM3_cmdRegErr"), Qt::LeftButton);
        QCOMPARE(shared().iModoLista, 1);
        QPointer<frmDEP> form = panel.recordList();
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QVERIFY(form->isWindow());
        QVERIFY(!form->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(form->windowTitle(), QStringLiteral("Resultados"));
        QCOMPARE(form->list()->topLevelItemCount(), 7);

        QTest::mouseClick(panel.findChild<QPushButton *>("FRAM3_cmdRegOk"), Qt::LeftButton);
        QCOMPARE(shared().iModoLista, 2);
        QCOMPARE(panel.recordList(), form.data());
        QCOMPARE(form->list()->topLevelItemCount(), 7);

        // Esc closes it.
        QTest::keyClick(form->list(), Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form);
        QVERIFY(!panel.recordList());

        QTest::mouseClick(panel.findChild<QPushButton *>("FRAM3_cmdRegOk"), Qt::LeftButton);
        QVERIFY(panel.recordList());
        QVERIFY(panel.recordList()->isVisible());
        QCOMPARE(orders(*panel.recordList()), (QStringList{"0001", "0006", "0012"}));
        VERIFY_SCRIPT(script);
    }
};

QTEST_MAIN(TestRecLists)
#include "test_reclists.moc"
