// Review at scale: the filter, sorting and selection of the record lists, and the group correction
// (shared values, only changed fields applied, the editor's checks and save per row), compared with
// correcting each row alone in the editor.
#include "shared/SharedState.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "review/GroupCorrection.h"
#include "ui/process/ResultsPanel.h"
#include "ui/review/frmDEP.h"
#include "ui/review/frmModificar.h"

#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using Icon = Interaction::Icon;

namespace {

template <typename T> T *child(const QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c) qFatal("no control %s", name);
    return c;
}
QLineEdit *box(const QWidget &w, const char *name)
{
    return child<QLineEdit>(w, name);
}

QStringList shownOrders(const frmDEP &form)
{
    QStringList out;
    for (int i = 0; i < form.list()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = form.list()->topLevelItem(i);
        if (!item->isHidden()) out << item->text(frmDEP::colOrden);
    }
    return out;
}

QTreeWidgetItem *rowOf(const frmDEP &form, const QString &order)
{
    for (int i = 0; i < form.list()->topLevelItemCount(); ++i)
        if (form.list()->topLevelItem(i)->text(frmDEP::colOrden) == order) return form.list()->topLevelItem(i);
    return nullptr;
}

void typeFilter(frmDEP &form, const QString &text)
{
    form.filterBox()->clear();
    QTest::keyClicks(form.filterBox(), text);
}

// Drives the suffix chooser: picks the line that begins with `pick` and presses Enter.
ScriptedInteraction::ModalDriver choose(const QString &pick)
{
    return [pick](QDialog &d) {
        auto *list = d.findChild<QListWidget *>(QStringLiteral("LstOpcion"));
        if (!list) return -1;
        d.show();
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().startsWith(pick)) list->setCurrentRow(i);
        QTest::keyClick(list, Qt::Key_Return);
        return d.result();
    };
}

// Every column of a shipment's rows, in order, without the shipment number, as SQLite writes them.
QVector<QStringList> rowsOf(TestEnv &env, const QString &shipment)
{
    const QStringList columns{"ARTORD", "ARTNRO", "ARTDSC", "DESCRIPCION_MARIA", "ARTCAN", "ARTUNI", "ARTTOT",
                              "ARTORG", "PRCNCM", "PRCSUF", "PRCLAP", "PRCDUN", "PRCEUN", "PRCECA",
                              "PRCSUN", "PRCSCA", "PRCESM", "PRCEST", "PRCCRC"};
    QStringList fields;
    for (const QString &c : columns)
        fields << QStringLiteral("coalesce(%1, '<null>')").arg(c);
    const QString all = env.scalar(QStringLiteral("select group_concat(line, char(10)) from (select %1 as line from "
                                                  "ART where INTNRO = '%2' order by ARTORD)")
                                       .arg(fields.join(QStringLiteral(" || '|' || ")), shipment))
                            .toString();
    QVector<QStringList> rows;
    for (const QString &line : all.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        rows << line.split(QLatin1Char('|'));
    return rows;
}

// The large invoice, 1,000 rows: 50 hammers on a wrong position, 51 cables whose suffixes lack the
// model (one with a statistical quantity that disagrees with the invoice, one with a goods state of
// letters), 49 new shoes that the catalogue did not know (one with a disagreeing quantity), and 850
// rows already OK. Written once for each shipment given.
constexpr int kHammers = 50, kCables = 51, kShoes = 49, kOk = 850;
constexpr int kErrors = kHammers + kCables + kShoes;

QString tagOf(int order)
{
    return QStringLiteral("%1").arg(order, 4, 10, QLatin1Char('0'));
}

void fillInvoice(TestEnv &env, const QString &shipment)
{
    QStringList values;
    int order = 0;
    for (int i = 1; i <= kHammers; ++i)
        values << QStringLiteral("('%1', %2, 'MT-%3', 'Martillo carpintero %3', '310', %4, 2, %5, "
                                 "'8205.20.00.000Z', NULL, NULL, '07', NULL, NULL, NULL, NULL, '1', 'E', 'POS')")
                      .arg(shipment)
                      .arg(++order)
                      .arg(i)
                      .arg(i + 1)
                      .arg(2 * (i + 1));
    for (int i = 1; i <= kCables; ++i) {
        const QString eca = i == 5 ? QStringLiteral("5") : QStringLiteral("NULL");
        const QString esm = i == 9 ? QStringLiteral("'X'") : QStringLiteral("'1'");
        values << QStringLiteral("('%1', %2, 'CB-%3', 'Cable unipolar %3', '212', %4, 1, %4, "
                                 "'8544.49.00.900Z', 'AA(X)-', 'N', '07', '01', %5, NULL, NULL, %6, 'E', 'SUF')")
                      .arg(shipment)
                      .arg(++order)
                      .arg(i)
                      .arg(i == 5 ? 6 : 10 * i)
                      .arg(eca, esm);
    }
    for (int i = 1; i <= kShoes; ++i) {
        const QString eca = i == 7 ? QStringLiteral("3") : QStringLiteral("NULL");
        values << QStringLiteral("('%1', %2, 'ZP-%3', 'Zapato de cuero %3', NULL, %4, 20, %5, "
                                 "NULL, NULL, NULL, NULL, NULL, %6, NULL, NULL, NULL, NULL, NULL)")
                      .arg(shipment)
                      .arg(++order)
                      .arg(i)
                      .arg(i == 7 ? 4 : i)
                      .arg(20 * i)
                      .arg(eca);
    }
    for (int i = 1; i <= kOk; ++i)
        values << QStringLiteral("('%1', %2, 'OK-%3', 'Destornillador %3', '310', 1, 1, 1, '8205.40.00.000X', "
                                 "'AA(X)-AB(Y)-JD01-', 'N', '07', '07', 1, NULL, NULL, '1', 'A', 'OK')")
                      .arg(shipment)
                      .arg(++order)
                      .arg(i);
    env.exec(QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTORG, ARTCAN, ARTUNI, ARTTOT, "
                            "PRCNCM, PRCSUF, PRCLAP, PRCDUN, PRCEUN, PRCECA, PRCSUN, PRCSCA, PRCESM, PRCEST, "
                            "PRCCRC) values ") +
             values.join(QStringLiteral(",")));
}

// The refused rows: cable 5 (quantity), cable 9 (goods state), shoe 7 (quantity).
const QString kCable5 = tagOf(kHammers + 5), kCable9 = tagOf(kHammers + 9), kShoe7 = tagOf(kHammers + kCables + 7);
const QString kFirstCable = tagOf(kHammers + 1), kFirstShoe = tagOf(kHammers + kCables + 1);

const QString kQuantity = QStringLiteral("La Cantidad Declarada debe ser igual a la Cantidad Especifica");

} // namespace

class TestGroup : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

  private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->connect();
        shared().sInternoActual = QStringLiteral("T1");
        shared().AA_MARCA = QStringLiteral("STANLEY");
        shared().iModoLista = 1;
    }
    void cleanup()
    {
        env.reset();
        QLocale::setDefault(QLocale::c());
    }

    // Every typed word must occur in the article, description, position, origin or suffixes, case and
    // accents ignored; the count line follows; Esc clears; Ctrl+F comes back to the box.
    void filterShowsRowsWithEveryWord()
    {
        env->exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTORG, ARTCAN, PRCNCM, PRCSUF, PRCEST, PRCCRC) values "
            "('T1', 1, 'MT-1', 'Martillo de acero', '310', 10, '8205.20.00.000Z', NULL, 'E', 'POS'),"
            "('T1', 2, 'MT-2', 'MARTILLO bola', '212', 9, '8205.20.00.000Z', 'AA(STANLEY)-', 'E', 'SUF'),"
            "('T1', 3, 'CB-1', 'Cable eléctrico 2x1', '212', 100, '8544.49.00.900Z', NULL, 'E', 'SUF'),"
            "('T1', 4, 'CB-2', 'Cable coaxil', '310', 2.5, '8544.49.00.900Z', NULL, 'E', 'POS'),"
            "('T1', 5, 'ZP-1', 'Zapato Niño', NULL, NULL, NULL, NULL, NULL, NULL),"
            "('T2', 1, 'MT-9', 'Martillo de otro interno', '310', 1, NULL, NULL, NULL, NULL)"));
        frmDEP form;
        form.show();
        QCOMPARE(form.countText(), QStringLiteral("5 de 5 registros"));
        QCOMPARE(child<QLabel>(form, "lbFiltro")->text(), QStringLiteral("Filtro"));
        QCOMPARE(child<QLabel>(form, "lbFiltro")->buddy(), form.filterBox());

        QTest::keyClick(form.list(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(form.focusWidget(), form.filterBox());
        QTest::keyClicks(form.filterBox(), QStringLiteral("martillo"));
        QCOMPARE(shownOrders(form), (QStringList{"0001", "0002"}));
        QCOMPARE(form.countText(), QStringLiteral("2 de 5 registros"));
        // Assistive technology reads the count as it stands, described by what it counts.
        QAccessibleInterface *count = QAccessible::queryAccessibleInterface(child<QLabel>(form, "lbCuenta"));
        QCOMPARE(count->text(QAccessible::Name), QStringLiteral("2 de 5 registros"));
        QCOMPARE(count->text(QAccessible::Description), QStringLiteral("Registros"));
        typeFilter(form, QStringLiteral("MARTÍLLO acero"));
        QCOMPARE(shownOrders(form), QStringList{"0001"});
        typeFilter(form, QStringLiteral("cable electrico"));
        QCOMPARE(shownOrders(form), QStringList{"0003"});
        typeFilter(form, QStringLiteral("nino"));
        QCOMPARE(shownOrders(form), QStringList{"0005"});
        typeFilter(form, QStringLiteral("stanley")); // suffix text
        QCOMPARE(shownOrders(form), QStringList{"0002"});
        typeFilter(form, QStringLiteral("8544 310")); // position and origin
        QCOMPARE(shownOrders(form), QStringList{"0004"});
        typeFilter(form, QStringLiteral("nada de esto"));
        QCOMPARE(shownOrders(form), QStringList{});
        QCOMPARE(form.countText(), QStringLiteral("0 de 5 registros"));
        // Nothing shown: Enter opens nothing.
        int opened = 0;
        form.editor = [&](const QString &) { ++opened; };
        form.groupEditor = [&](const QStringList &) { ++opened; };
        QTest::keyClick(form.list(), Qt::Key_Return);
        QCOMPARE(opened, 0);

        QTest::keyClick(form.filterBox(), Qt::Key_Escape);
        QCOMPARE(form.filterBox()->text(), QString());
        QCOMPARE(shownOrders(form), (QStringList{"0005", "0001", "0004", "0002", "0003"}));
        QCOMPARE(form.countText(), QStringLiteral("5 de 5 registros"));
        QVERIFY(form.isVisible());
        // Esc in the empty box closes the window.
        QTest::keyClick(form.filterBox(), Qt::Key_Escape);
        QVERIFY(!form.isVisible());
    }

    // Ctrl+1..Ctrl+9 and the headings sort, again in reverse; numbers sort as numbers, empty first;
    // the list's own grading order comes back with sortBy(-1); a refill keeps filter and sort.
    void sortingByColumns()
    {
        env->exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTCAN, PRCEST, PRCCRC) values "
            "('T1', 1, 'b', 'uno', 10, 'E', 'POS'), ('T1', 2, 'C', 'dos', 9, 'E', 'SUF'),"
            "('T1', 3, 'a', 'tres', 100, 'E', 'ERR'), ('T1', 4, 'D', 'cuatro', 2.5, 'E', 'POS'),"
            "('T1', 5, 'e', 'cinco', NULL, NULL, NULL)"));
        frmDEP form;
        form.show();
        const QStringList grading{"0005", "0003", "0001", "0004", "0002"};
        QCOMPARE(shownOrders(form), grading);
        QTest::keyClick(form.list(), Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(shownOrders(form), (QStringList{"0003", "0001", "0002", "0004", "0005"}));
        QTest::keyClick(form.list(), Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(shownOrders(form), (QStringList{"0005", "0004", "0002", "0001", "0003"}));
        QTest::keyClick(form.filterBox(), Qt::Key_5, Qt::ControlModifier);
        QCOMPARE(shownOrders(form), (QStringList{"0005", "0004", "0002", "0001", "0003"}));
        // A click on a heading.
        QHeaderView *header = form.list()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(frmDEP::colCantidad) + 5, header->height() / 2));
        QCOMPARE(shownOrders(form), (QStringList{"0003", "0001", "0002", "0004", "0005"}));
        form.sortBy(-1);
        QCOMPARE(shownOrders(form), grading);

        QTest::keyClick(form.list(), Qt::Key_3, Qt::ControlModifier);
        typeFilter(form, QStringLiteral("o")); // uno, dos, cuatro, cinco
        QCOMPARE(shownOrders(form), (QStringList{"0005", "0004", "0002", "0001"}));
        form.CargarRegConErrores();
        QCOMPARE(shownOrders(form), (QStringList{"0005", "0004", "0002", "0001"}));
        QCOMPARE(form.countText(), QStringLiteral("4 de 5 registros"));
    }

    // Shift and Ctrl extend the selection; Ctrl+A selects the rows shown only; Enter on two or more
    // rows hands their orders to the group correction, on one row to the editor as before; a
    // double-click on a selected row of a selection opens the selection.
    void selectingManyOpensTheGroup()
    {
        env->exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, PRCEST, PRCCRC) values "
            "('T1', 1, 'MT-1', 'Martillo', 'E', 'POS'), ('T1', 2, 'MT-2', 'Martillo', 'E', 'POS'),"
            "('T1', 3, 'CB-1', 'Cable', 'E', 'POS'), ('T1', 4, 'MT-3', 'Martillo', 'E', 'POS'),"
            "('T1', 5, 'CB-2', 'Cable', 'E', 'POS')"));
        frmDEP form;
        QStringList single;
        QList<QStringList> groups;
        form.editor = [&](const QString &tag) { single << tag; };
        form.groupEditor = [&](const QStringList &tags) { groups << tags; };
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTreeWidget *list = form.list();

        list->setCurrentItem(rowOf(form, "0001"));
        QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
        const QRect fourth = list->visualItemRect(rowOf(form, "0004"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, fourth.center());
        QCOMPARE(form.selectedTags(), (QStringList{"0001", "0002", "0004"}));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(groups, (QList<QStringList>{{"0001", "0002", "0004"}}));
        QVERIFY(single.isEmpty());

        // A double-click on a row of the selection opens the whole selection.
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, fourth.center());
        QCOMPARE(groups.size(), 2);
        QCOMPARE(groups.last(), (QStringList{"0001", "0002", "0004"}));

        typeFilter(form, QStringLiteral("cable"));
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form.selectedTags(), (QStringList{"0003", "0005"}));
        QCOMPARE(list->selectedItems().size(), 2);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(groups.last(), (QStringList{"0003", "0005"}));

        // Everything selected, then a filter: the hidden rows leave the selection.
        typeFilter(form, QString());
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form.selectedTags().size(), 5);
        typeFilter(form, QStringLiteral("mt-3"));
        QCOMPARE(list->selectedItems().size(), 1);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(single, QStringList{"0004"});
        QCOMPARE(groups.size(), 3);
    }

    // The group editor opens on the first row's source data with the group's size; each editable
    // field shows what the rows share, or nothing; one selected row is the editor as before.
    void groupEditorShowsSharedValues()
    {
        fillInvoice(*env, QStringLiteral("T1"));
        frmModificar group;
        group.setTags({kFirstCable, tagOf(kHammers + 2), kCable5});
        group.show();
        QCOMPARE(group.windowTitle(), QStringLiteral("Modificar (3 registros)"));
        QCOMPARE(child<QLabel>(group, "lbRegistros")->text(), QStringLiteral("(3 registros)"));
        QVERIFY(child<QLabel>(group, "lbRegistros")->isVisible());
        QCOMPARE(box(group, "txtARTNRO")->text(), QStringLiteral("CB-1"));
        QCOMPARE(box(group, "txtPRCNCM")->text(), QStringLiteral("8544.49.00.900Z"));
        QCOMPARE(child<QPlainTextEdit>(group, "txtPRCSUF")->toPlainText(), QStringLiteral("AA(X)-"));
        QCOMPARE(box(group, "txtPRCDUN")->text(), QStringLiteral("07"));
        QCOMPARE(box(group, "txtPRCESM")->text(), QStringLiteral("1"));
        QCOMPARE(box(group, "txtPRCECA")->text(), QString()); // 0 and 5 differ
        QCOMPARE(child<QLabel>(group, "lbPRCEUN")->text(), QStringLiteral("Unidad Estadistica [01]"));
        QCOMPARE(child<QComboBox>(group, "cboPRCORI")->currentText(), QStringLiteral("ESTADOS UNIDOS"));
        QVERIFY(box(group, "txtPRCSCA")->isHidden());
        QVERIFY(group.changes().isEmpty());

        frmModificar mixed;
        mixed.setTags({"0001", kFirstCable});
        mixed.show();
        QCOMPARE(box(mixed, "txtPRCNCM")->text(), QString());
        QCOMPARE(child<QComboBox>(mixed, "cboPRCORI")->currentIndex(), -1);
        QCOMPARE(box(mixed, "txtPRCDUN")->text(), QStringLiteral("07"));

        frmModificar one;
        one.setTags({kFirstCable});
        one.show();
        QCOMPARE(one.windowTitle(), QStringLiteral("Modificar"));
        QVERIFY(child<QLabel>(one, "lbRegistros")->isHidden());
        QCOMPARE(box(one, "txtARTNRO")->text(), QStringLiteral("CB-1"));
        QCOMPARE(box(one, "txtPRCECA")->text(), QStringLiteral("00.00"));
    }

    // Only the fields changed are applied: each row keeps its own declared unit, quantities and
    // suffixes; a typed statistical quantity applies to every row.
    void onlyChangedFieldsApply()
    {
        env->exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTCAN, PRCNCM, PRCSUF, PRCLAP, PRCDUN, PRCEUN, PRCECA, "
            "PRCESM, ARTORG, PRCEST, PRCCRC) values "
            "('T1', 1, 'D-1', 3, '8205.40.00.000X', 'AA(A)-AB(B)-JD01-', 'N', '01', '07', 0, '1', '310', 'A', 'OK'),"
            "('T1', 2, 'D-2', 4, '8205.40.00.000X', 'AA(C)-AB(D)-JD02-', 'N', '02', '07', 9, '1', '212', 'A', 'OK')"));
        frmModificar group;
        group.setTags({"0001", "0002"});
        group.show();
        box(group, "txtPRCESM")->setText(QStringLiteral("2"));
        {
            ScriptedInteraction script;
            script.expectMessage(QStringLiteral("Se guardaron 2 registros."), Icon::Information);
            QTest::keyClick(box(group, "txtPRCESM"), Qt::Key_F11);
            VERIFY_SCRIPT(script);
        }
        QCOMPARE(group.result(), int(QDialog::Accepted));
        QCOMPARE(shared().sRetorno, QStringLiteral("OK"));
        QCOMPARE(env->scalar("select group_concat(PRCESM || '|' || PRCDUN || '|' || PRCECA || '|' || PRCSUF || '|' || "
                             "ARTORG || '|' || PRCEST, ';') from (select * from ART order by ARTORD)")
                     .toString(),
                 QStringLiteral("2|01|0.0|AA(A)-AB(B)-JD01-|310|M;2|02|9.0|AA(C)-AB(D)-JD02-|212|M"));

        frmModificar again;
        again.setTags({"0001", "0002"});
        again.show();
        QCOMPARE(box(again, "txtPRCESM")->text(), QStringLiteral("2"));
        box(again, "txtPRCECA")->setText(QStringLiteral("7"));
        {
            ScriptedInteraction script;
            script.expectMessage(QStringLiteral("Se guardaron 2 registros."), Icon::Information);
            QTest::keyClick(box(again, "txtPRCECA"), Qt::Key_F11);
            VERIFY_SCRIPT(script);
        }
        QCOMPARE(env->scalar("select group_concat(PRCECA, ';') from (select * from ART order by ARTORD)").toString(),
                 QStringLiteral("7.0;7.0"));
    }

    // The large invoice's errors corrected by filter, selection and three group saves through the
    // real windows equal the same invoice's errors corrected row by row in the editor; the refused rows stay as
    // they were, and the closing message names each with the editor's message.
    void groupEqualsRowByRow()
    {
        fillInvoice(*env, QStringLiteral("T1"));
        fillInvoice(*env, QStringLiteral("T2"));
        const QVector<QStringList> before = rowsOf(*env, QStringLiteral("T1"));

        // --- T1: three groups.
        ScriptedInteraction script;
        ResultsPanel panel;
        child<QPushButton>(panel, "FRAM3_cmdRegErr")->click();
        frmDEP *form = panel.recordList();
        QVERIFY(form);
        QCOMPARE(form->countText(), QStringLiteral("150 de 150 registros"));
        QTreeWidget *list = form->list();
        int keys = 0;
        const auto key = [&](QWidget *w, Qt::Key k, Qt::KeyboardModifiers m = {}) {
            ++keys;
            QTest::keyClick(w, k, m);
        };
        const auto type = [&](QWidget *w, const QString &text) {
            keys += int(text.size());
            QTest::keyClicks(w, text);
        };

        // Hammers: a new position, its suffixes walked once.
        key(list, Qt::Key_F, Qt::ControlModifier);
        type(form->filterBox(), QStringLiteral("martillo"));
        QCOMPARE(form->countText(), QStringLiteral("50 de 150 registros"));
        key(form->filterBox(), Qt::Key_Return);
        key(list, Qt::Key_A, Qt::ControlModifier);
        script.expectModal(QStringLiteral("frmModificar"), [&](QDialog &d) {
            if (d.windowTitle() != QStringLiteral("Modificar (50 registros)")) return -1;
            d.show();
            script.expectInput(QStringLiteral("MARCA   (AA)"), QStringLiteral("Ingrese Valor (AA)"),
                               QStringLiteral("STANLEY"), QStringLiteral("STANLEY"));
            script.expectInput(QStringLiteral("MODELO   (AB)"), QStringLiteral("Ingrese Valor (AB)"), QString(),
                               QStringLiteral("carpintero"));
            script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QStringLiteral("JD01")));
            script.expectMessage(QStringLiteral("Se guardaron 50 registros."), Icon::Information);
            keys += 3; // the two answers and the chooser's Enter
            QLineEdit *ncm = box(d, "txtPRCNCM");
            key(ncm, Qt::Key_A, Qt::ControlModifier);
            type(ncm, QStringLiteral("8205.20.00.000K"));
            key(ncm, Qt::Key_Return);
            key(ncm, Qt::Key_F11);
            return d.result();
        });
        key(list, Qt::Key_Return);
        VERIFY_SCRIPT(script);
        QCOMPARE(form->countText(), QStringLiteral("0 de 100 registros"));

        // Cables: the shared position processed again, the declared unit set; two refused.
        key(list, Qt::Key_F, Qt::ControlModifier);
        type(form->filterBox(), QStringLiteral("cable"));
        key(form->filterBox(), Qt::Key_Return);
        key(list, Qt::Key_A, Qt::ControlModifier);
        script.expectModal(QStringLiteral("frmModificar"), [&](QDialog &d) {
            d.show();
            script.expectInput(QStringLiteral("MARCA   (AA)"), QStringLiteral("Ingrese Valor (AA)"),
                               QStringLiteral("X"), QStringLiteral("PHILIPS"));
            script.expectInput(QStringLiteral("MODELO   (AB)"), QStringLiteral("Ingrese Valor (AB)"), QString(),
                               QStringLiteral("UNIPOLAR"));
            script.expectMessage(QStringLiteral("Se guardaron 49 de 51 registros.\r\n\r\nNo se guardaron:\r\n") +
                                     kCable5 + QStringLiteral(" CB-5: ") + kQuantity + QStringLiteral("\r\n") +
                                     kCable9 + QStringLiteral(" CB-9: Estado de mercaderia inválida"),
                                 Icon::Exclamation);
            keys += 2;
            QLineEdit *ncm = box(d, "txtPRCNCM");
            if (ncm->text() != QStringLiteral("8544.49.00.900Z")) return -1;
            key(ncm, Qt::Key_Return);
            QLineEdit *unit = box(d, "txtPRCDUN");
            unit->selectAll();
            type(unit, QStringLiteral("01"));
            key(unit, Qt::Key_F11);
            return d.result();
        });
        key(list, Qt::Key_Return);
        VERIFY_SCRIPT(script);
        QCOMPARE(form->countText(), QStringLiteral("2 de 51 registros"));

        // Shoes: new articles, everything to fill in; one refused.
        key(list, Qt::Key_F, Qt::ControlModifier);
        type(form->filterBox(), QStringLiteral("zapato"));
        key(form->filterBox(), Qt::Key_Return);
        key(list, Qt::Key_A, Qt::ControlModifier);
        script.expectModal(QStringLiteral("frmModificar"), [&](QDialog &d) {
            d.show();
            script.expectInput(QStringLiteral("MARCA   (AA)"), QStringLiteral("Ingrese Valor (AA)"),
                               QStringLiteral("STANLEY"), QStringLiteral("ACME"));
            script.expectInput(QStringLiteral("MODELO   (AB)"), QStringLiteral("Ingrese Valor (AB)"), QString(),
                               QStringLiteral("OXFORD"));
            script.expectInput(QStringLiteral("TALLE   (AI)"), QStringLiteral("Ingrese Valor (AI)"), QString(),
                               QStringLiteral("42"));
            script.expectMessage(QStringLiteral("Se guardaron 48 de 49 registros.\r\n\r\nNo se guardaron:\r\n") +
                                     kShoe7 + QStringLiteral(" ZP-7: ") + kQuantity,
                                 Icon::Exclamation);
            keys += 3;
            QLineEdit *ncm = box(d, "txtPRCNCM");
            type(ncm, QStringLiteral("6403.99.90.000X"));
            key(ncm, Qt::Key_Return);
            type(box(d, "txtPRCDUN"), QStringLiteral("08"));
            type(box(d, "txtPRCESM"), QStringLiteral("1"));
            auto *country = child<QComboBox>(d, "cboPRCORI");
            country->setCurrentIndex(country->findText(QStringLiteral("BRASIL")));
            keys += 2;
            key(ncm, Qt::Key_F11);
            return d.result();
        });
        key(list, Qt::Key_Return);
        VERIFY_SCRIPT(script);
        QCOMPARE(form->countText(), QStringLiteral("1 de 3 registros"));
        const int groupKeys = keys;
        form->close();

        // The refused rows are untouched.
        const QVector<QStringList> after = rowsOf(*env, QStringLiteral("T1"));
        for (const QString &tag : {kCable5, kCable9, kShoe7})
            QCOMPARE(after[tag.toInt() - 1], before[tag.toInt() - 1]);

        // --- T2: each row alone, with the same answers.
        shared().sInternoActual = QStringLiteral("T2");
        keys = 0;
        ResultsPanel panel2;
        child<QPushButton>(panel2, "FRAM3_cmdRegErr")->click();
        form = panel2.recordList();
        list = form->list();
        const auto correct = [&](int order) {
            QTreeWidgetItem *item = rowOf(*form, tagOf(order));
            QVERIFY(item);
            list->setCurrentItem(item);
            keys += 1; // arrowing to the row
            const QString article = item->text(frmDEP::colArticulo);
            const QString proposal = QString(article).replace(QLatin1Char('-'), QLatin1Char(' '));
            const bool refused = order == kCable5.toInt() || order == kCable9.toInt() || order == kShoe7.toInt();
            script.expectModal(QStringLiteral("frmModificar"), [&, order, article, proposal, refused](QDialog &d) {
                d.show();
                QLineEdit *ncm = box(d, "txtPRCNCM");
                if (article.startsWith(QLatin1String("MT"))) {
                    script.expectInput(QStringLiteral("MARCA   (AA)"), QStringLiteral("Ingrese Valor (AA)"),
                                       QStringLiteral("STANLEY"), QStringLiteral("STANLEY"));
                    script.expectInput(QStringLiteral("MODELO   (AB)"), QStringLiteral("Ingrese Valor (AB)"),
                                       proposal, QStringLiteral("carpintero"));
                    script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QStringLiteral("JD01")));
                    keys += 3;
                    key(ncm, Qt::Key_A, Qt::ControlModifier);
                    type(ncm, QStringLiteral("8205.20.00.000K"));
                    key(ncm, Qt::Key_Return);
                } else if (article.startsWith(QLatin1String("CB"))) {
                    script.expectInput(QStringLiteral("MARCA   (AA)"), QStringLiteral("Ingrese Valor (AA)"),
                                       QStringLiteral("X"), QStringLiteral("PHILIPS"));
                    script.expectInput(QStringLiteral("MODELO   (AB)"), QStringLiteral("Ingrese Valor (AB)"),
                                       proposal, QStringLiteral("UNIPOLAR"));
                    keys += 2;
                    key(ncm, Qt::Key_Return);
                    QLineEdit *unit = box(d, "txtPRCDUN");
                    unit->selectAll();
                    type(unit, QStringLiteral("01"));
                } else {
                    script.expectInput(QStringLiteral("MARCA   (AA)"), QStringLiteral("Ingrese Valor (AA)"),
                                       QStringLiteral("STANLEY"), QStringLiteral("ACME"));
                    script.expectInput(QStringLiteral("MODELO   (AB)"), QStringLiteral("Ingrese Valor (AB)"),
                                       proposal, QStringLiteral("OXFORD"));
                    script.expectInput(QStringLiteral("TALLE   (AI)"), QStringLiteral("Ingrese Valor (AI)"),
                                       proposal, QStringLiteral("42"));
                    keys += 3;
                    type(ncm, QStringLiteral("6403.99.90.000X"));
                    key(ncm, Qt::Key_Return);
                    type(box(d, "txtPRCDUN"), QStringLiteral("08"));
                    type(box(d, "txtPRCESM"), QStringLiteral("1"));
                    auto *country = child<QComboBox>(d, "cboPRCORI");
                    country->setCurrentIndex(country->findText(QStringLiteral("BRASIL")));
                    keys += 2;
                }
                if (refused) {
                    script.expectMessage(order == kCable9.toInt() ? QStringLiteral("Estado de mercaderia inválida")
                                                                  : kQuantity,
                                         order == kCable9.toInt() ? Icon::Critical : Icon::Exclamation);
                    key(ncm, Qt::Key_F11);
                    key(ncm, Qt::Key_Escape);
                } else {
                    key(ncm, Qt::Key_F11);
                }
                return d.result();
            });
            key(list, Qt::Key_Return);
        };
        for (int order = 1; order <= kErrors; ++order) {
            correct(order);
            VERIFY_SCRIPT(script);
        }
        QCOMPARE(form->countText(), QStringLiteral("3 de 3 registros"));
        form->close();

        // Same rows, row for row.
        const QVector<QStringList> alone = rowsOf(*env, QStringLiteral("T2"));
        QCOMPARE(alone.size(), after.size());
        for (int i = 0; i < after.size(); ++i)
            QCOMPARE(after[i], alone[i]);
        // The corrections did happen: positions, units, LAPI marks, suffixes and grades.
        QCOMPARE(after.size(), kErrors + kOk);
        QCOMPARE(after[0], (QStringList{"1", "MT-1", "Martillo carpintero 1", "<null>", "2.0", "2.0", "4.0", "310",
                                        "8205.20.00.000K", "AA(STANLEY)-AB(CARPINTERO)-JD01-", "N", "07", "07",
                                        "2.0", "<null>", "<null>", "1", "M", "OK"}));
        const QStringList &cable = after[kFirstCable.toInt() - 1];
        QCOMPARE(cable[9], QStringLiteral("AA(PHILIPS)-AB(UNIPOLAR)-"));
        QCOMPARE(cable[11], QStringLiteral("01"));
        QCOMPARE(cable[13], QStringLiteral("10.0")); // the invoice quantity, units now equal
        const QStringList &shoe = after[kFirstShoe.toInt() - 1];
        QCOMPARE(shoe[9], QStringLiteral("AA(ACME)-AB(OXFORD)-AI(42)-"));
        QCOMPARE(shoe[7], QStringLiteral("203")); // Brasil
        QCOMPARE(shoe[12], QStringLiteral("08"));
        QCOMPARE(shoe[17] + shoe[18], QStringLiteral("MOK"));
        // The rows already OK were not touched.
        QCOMPARE(after.mid(kErrors), before.mid(kErrors));
        qInfo("keystrokes: %d by groups, %d row by row", groupKeys, keys);
        QVERIFY(groupKeys * 10 < keys);
    }
};

QTEST_MAIN(TestGroup)
#include "test_group.moc"
