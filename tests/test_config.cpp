#include "ui/app/ClCntrl.h"
#include "shared/SharedState.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "ui/config/frmConfig.h"
#include "ui/config/frmNewPais.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <memory>

using Icon = Interaction::Icon;

static const QColor kPeach(0xFE, 0xE4, 0xD6);
static const QColor kGreen(0xC0, 0xFF, 0xC0);
static const QColor kYellow(Qt::yellow);
static const QString kDuplicateNcm = QStringLiteral("6403.99.90.000X"); // shipped rule, unit 08

static bool activate(QWidget &w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    return QTest::qWaitForWindowActive(&w);
}

template <typename T> static T *child(const QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c) qFatal("no control %s", name);
    return c;
}

static void sendMove(QWidget *target, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent move(QEvent::MouseMove, pos, target->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
}

static QStringList gridColumn(const QTableWidget *grid, int column)
{
    QStringList texts;
    for (int r = 0; r < grid->rowCount(); ++r)
        texts << (grid->item(r, column) ? grid->item(r, column)->text() : QString());
    return texts;
}

// A window with text boxes in tab order a, b (linked), hidden, disabled, c, and a list and a combo.
class Harness : public QDialog {
  public:
    Harness()
    {
        for (QLineEdit **e : {&a, &b, &hidden, &disabled, &c}) {
            *e = new QLineEdit(this);
            (*e)->setGeometry(10, 10 + 30 * int(layoutRow++), 150, 24);
        }
        hidden->hide();
        disabled->setEnabled(false);
        list = new QListWidget(this);
        list->setGeometry(200, 10, 200, 140);
        combo = new QComboBox(this);
        combo->setGeometry(200, 160, 200, 24);
        ok = new QPushButton(QStringLiteral("ok"), this);
        ok->setGeometry(200, 200, 80, 24);
        ok->setDefault(true);
        cntrl = new ClCntrl(this);
        cntrl->sLinkText(b);
        cntrl->sLinkListBox(list);
        cntrl->sLinkCBoBox(combo);
    }
    QLineEdit *a, *b, *hidden, *disabled, *c;
    QListWidget *list;
    QComboBox *combo;
    QPushButton *ok;
    ClCntrl *cntrl;

  private:
    unsigned layoutRow = 0;
};

class NoSeparator : public ClCntrl {
  public:
    using ClCntrl::ClCntrl;

  protected:
    QString queryDecimalSeparator() const override { return QString(); }
};

class TestConfig : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

    void connectEnv() { env->connect(); }

  private slots:
    void init()
    {
        TestEnv::useComma();
        env = std::make_unique<TestEnv>();
        QVERIFY(env->isValid());
    }
    void cleanup() { env.reset(); }

    // ---- input-control helper ----

    void cntrl_tagConvention_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QColor>("entry");
        QTest::addColumn<QColor>("leave");
        QTest::addColumn<bool>("selects");
        QTest::newRow("empty") << QString() << kGreen << QColor(Qt::white) << true;
        QTest::newRow("other") << QStringLiteral("X1") << kGreen << QColor(Qt::white) << true;
        QTest::newRow("#F6") << QStringLiteral("A#F6") << kPeach << QColor(Qt::white) << true;
        QTest::newRow("BB#F6") << QStringLiteral("BB#F6") << kPeach << kPeach << true;
        QTest::newRow("BB1") << QStringLiteral("BB1") << kYellow << kYellow << false;
    }
    void cntrl_tagConvention()
    {
        QFETCH(QString, tag);
        QFETCH(QColor, entry);
        QFETCH(QColor, leave);
        QFETCH(bool, selects);
        Harness h;
        h.b->setProperty("Tag", tag);
        QPalette p = h.b->palette();
        p.setColor(QPalette::Base, kYellow);
        h.b->setPalette(p);
        h.b->setText(QStringLiteral("12345"));
        h.b->setCursorPosition(2);
        QVERIFY(activate(h));
        h.a->setFocus();
        // Entered by Tab, where QLineEdit would select everything on its own.
        QTest::keyClick(h.a, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), h.b);
        QCOMPARE(h.b->palette().color(QPalette::Base), entry);
        QCOMPARE(h.b->selectedText(), selects ? QStringLiteral("12345") : QString());
        if (!selects) QCOMPARE(h.b->cursorPosition(), 2);
        h.c->setFocus();
        QCOMPARE(h.b->palette().color(QPalette::Base), leave);
        // Entered by code: the helper selects, QLineEdit would not.
        h.b->setFocus(Qt::OtherFocusReason);
        QCOMPARE(h.b->selectedText(), selects ? QStringLiteral("12345") : QString());
    }

    void cntrl_arrowsAndEnterMoveFocus()
    {
        Harness h;
        int returns = 0, clicks = 0;
        connect(h.b, &QLineEdit::returnPressed, this, [&] { ++returns; });
        connect(h.ok, &QPushButton::clicked, this, [&] { ++clicks; });
        QVERIFY(activate(h));
        h.b->setFocus();
        h.b->setText(QStringLiteral("7"));
        QTest::keyClick(h.b, Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), h.b);     // posted, not done yet
        QTRY_COMPARE(QApplication::focusWidget(), h.c); // hidden and disabled boxes skipped
        h.b->setFocus();
        QTest::keyClick(h.b, Qt::Key_Up);
        QTRY_COMPARE(QApplication::focusWidget(), h.a);

        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            h.b->setFocus();
            QTest::keyClick(h.b, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            QCOMPARE(QApplication::focusWidget(), h.c); // at once
        }
        QCOMPARE(returns, 0);
        QCOMPARE(clicks, 0);
        QCOMPARE(h.b->text(), QStringLiteral("7"));

        // Linking another box releases the first.
        h.cntrl->sLinkText(h.a);
        h.b->setFocus();
        QTest::keyClick(h.b, Qt::Key_Return);
        QCOMPARE(returns, 1);
        QCOMPARE(h.cntrl->vTextCtrl.data(), h.a);
    }

    void cntrl_keypadDecimal()
    {
        Harness h; // created in the comma locale
        QVERIFY(activate(h));
        h.b->setFocus();
        QTest::keyClick(h.b, Qt::Key_5);
        QTest::keyClick(h.b, Qt::Key_Period, Qt::KeypadModifier);
        QTest::keyClick(h.b, Qt::Key_Comma, Qt::KeypadModifier);
        QTest::keyClick(h.b, Qt::Key_Period);
        QCOMPARE(h.b->text(), QStringLiteral("5,,."));
        // Unlinked boxes are left alone.
        h.a->setFocus();
        QTest::keyClick(h.a, Qt::Key_Period, Qt::KeypadModifier);
        QCOMPARE(h.a->text(), QStringLiteral("."));

        // The separator stays as read until it is queried again.
        TestEnv::usePoint();
        h.b->clear();
        h.b->setFocus();
        QTest::keyClick(h.b, Qt::Key_Comma, Qt::KeypadModifier);
        QCOMPARE(h.b->text(), QStringLiteral(","));
        QCOMPARE(h.cntrl->Separador_Decimal(), QStringLiteral("."));
        QCOMPARE(h.cntrl->Obtener_Sep_Decim(), QStringLiteral("."));
        QTest::keyClick(h.b, Qt::Key_Comma, Qt::KeypadModifier);
        QCOMPARE(h.b->text(), QStringLiteral(",."));
    }

    void cntrl_separatorUnavailable()
    {
        ScriptedInteraction script;
        QDialog w;
        auto *box = new QLineEdit(&w);
        auto *cntrl = new NoSeparator(&w);
        cntrl->sLinkText(box);
        script.expectMessage(QStringLiteral("No se puedo obtener la información"), Icon::None);
        cntrl->ObtenerDecimal();
        VERIFY_SCRIPT(script);
        QCOMPARE(cntrl->storedSeparator(), QString());
        // Without a separator the keypad key types its own character.
        QVERIFY(activate(w));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Period, Qt::KeypadModifier);
        QCOMPARE(box->text(), QStringLiteral("."));
    }

    void cntrl_prefixSearch()
    {
        Harness h;
        const QStringList items{QStringLiteral("XAB uno"), QStringLiteral("cab"), QStringLiteral("Abeto"),
                                QStringLiteral("ABC"), QStringLiteral("abc")};
        h.list->addItems(items);
        h.combo->addItems(items);
        h.cntrl->LstBuscarStr(QStringLiteral("ab"));
        QCOMPARE(h.list->currentRow(), 2);
        QCOMPARE(h.list->selectedItems().value(0)->text(), QStringLiteral("Abeto"));
        h.cntrl->LstBuscarStr(QStringLiteral("abc"));
        QCOMPARE(h.list->currentRow(), 3);
        h.cntrl->LstBuscarStr(QStringLiteral("uno"));
        QCOMPARE(h.list->currentRow(), -1);
        QVERIFY(h.list->selectedItems().isEmpty());

        h.cntrl->BuscarCBO(QStringLiteral("aBe"));
        QCOMPARE(h.combo->currentIndex(), 2);
        h.cntrl->BuscarCBO(QStringLiteral("b"));
        QCOMPARE(h.combo->currentIndex(), -1);
    }

    void cntrl_listTooltip()
    {
        Harness h;
        h.list->addItems(
            {QStringLiteral("primero"), QStringLiteral("segundo"), QStringLiteral("tercero largo")});
        QVERIFY(activate(h));
        QWidget *vp = h.list->viewport();
        const QRect second = h.list->visualItemRect(h.list->item(1));
        const QRect last = h.list->visualItemRect(h.list->item(2));
        QVERIFY(last.bottom() + 20 < vp->height());

        sendMove(vp, second.center());
        QCOMPARE(h.list->toolTip(), QStringLiteral("segundo"));
        sendMove(vp, QPoint(5, last.bottom() + 20));
        QCOMPARE(h.list->toolTip(), QStringLiteral("tercero largo"));
        sendMove(vp, h.list->visualItemRect(h.list->item(0)).center(), Qt::LeftButton);
        QCOMPARE(h.list->toolTip(), QStringLiteral("tercero largo")); // a button held: nothing
        sendMove(vp, QPoint(vp->width() + 4, 3));
        QCOMPARE(h.list->toolTip(), QString());
        sendMove(vp, second.center());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(vp, &leave);
        QCOMPARE(h.list->toolTip(), QString());
        h.list->clear();
        sendMove(vp, QPoint(5, 5));
        QCOMPARE(h.list->toolTip(), QString());
    }

    void cntrl_emptiesTextBoxes()
    {
        Harness h;
        auto *notes = new QPlainTextEdit(QStringLiteral("nota"), &h);
        h.a->setText(QStringLiteral("x"));
        h.b->setText(QStringLiteral("y"));
        h.combo->setEditable(true);
        h.combo->setEditText(QStringLiteral("queda"));
        h.cntrl->VaciarTxt(&h);
        QCOMPARE(h.a->text(), QString());
        QCOMPARE(h.b->text(), QString());
        QCOMPARE(notes->toPlainText(), QString());
        QCOMPARE(h.combo->currentText(), QStringLiteral("queda"));
    }

    // ---- configuration window ----

    void config_loadsStoredDefaults()
    {
        env->setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
        env->setSetting(QStringLiteral("INTCAT"), QStringLiteral("002"));
        env->setSetting(QStringLiteral("PRCESM"), QStringLiteral("1"));
        env->setSetting(QStringLiteral("AA_MARCA"), QStringLiteral("STANLEY"));
        env->setSetting(QStringLiteral("PRECIO_UNITARIO"), QStringLiteral("5,5"));
        connectEnv();
        env->exec(QStringLiteral("insert into NCMDEC (NCM, DECLARADA) values ('0101.00.00.000A','07')"));
        ScriptedInteraction script;
        frmConfig w;
        VERIFY_SCRIPT(script);
        QCOMPARE(w.windowTitle(), QStringLiteral("Configuración"));

        auto *unit = child<QComboBox>(w, "cboUnidad");
        auto *unitIds = child<QComboBox>(w, "cboIdUnidad");
        QCOMPARE(unit->count(), env->scalarCalvera(QStringLiteral("INTERNOS"),
                                                   QStringLiteral("select count(*) from unidades"))
                                    .toInt());
        QCOMPARE(unitIds->count(), unit->count());
        QCOMPARE(unit->currentText(), QStringLiteral("UNIDAD"));
        QCOMPARE(unitIds->itemText(unit->currentIndex()), QStringLiteral("07"));
        QVERIFY(unitIds->isHidden());
        auto *catalogue = child<QComboBox>(w, "cboCatalogo");
        QCOMPARE(catalogue->itemText(0), QStringLiteral("[001] FERRETERIA DEL SUR S.A."));
        QCOMPARE(catalogue->currentText(), QStringLiteral("[002] ELECTRO IMPORT S.R.L."));
        QVERIFY(child<QComboBox>(w, "cboIdCatalogo")->isHidden());
        QCOMPARE(child<QLineEdit>(w, "txtEstadoMerc")->text(), QStringLiteral("1"));
        QCOMPARE(child<QLineEdit>(w, "txtEstadoMerc")->maxLength(), 1);
        QCOMPARE(child<QLineEdit>(w, "txt_Marca")->text(), QStringLiteral("STANLEY"));
        QCOMPARE(child<QLineEdit>(w, "txt_Marca")->maxLength(), 20);
        QCOMPARE(child<QLineEdit>(w, "txtPRECIO_RANGO")->text(), QStringLiteral("5,5"));
        QCOMPARE(shared().AA_MARCA, QStringLiteral("STANLEY"));
        QCOMPARE(shared().PRECIO_UNITARIO, 5.5);

        QStringList captions;
        for (const QLabel *l : w.findChildren<QLabel *>())
            captions << l->text();
        for (const char *caption :
             {"Unidad Declarada por Defecto", "Catalogo Calvera", "Estado de la Mercaderia",
              "Valor predeterminado", "Rango de variación", "% Precio unitario", "Marca",
              "Reglas de Unidad Declarada", "[INSERT] Agregar - [DELETE] Eliminar", "[ESC] Cerrar"})
            QVERIFY2(captions.contains(QString::fromUtf8(caption)), caption);
        QCOMPARE(child<QLabel>(w, "Lbl_Marca")->buddy(), child<QLineEdit>(w, "txt_Marca"));

        auto *grid = child<QTableWidget>(w, "GridUnidDecl");
        QCOMPARE(grid->columnCount(), 2);
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("NCM"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("U.D."));
        // 1400 twips of the grid's 3540, at whatever scale the font gives.
        QVERIFY(qAbs(grid->columnWidth(0) - 1400.0 * grid->width() / 3540.0) <= 1.0);
        QCOMPARE(gridColumn(grid, 0), (QStringList{QStringLiteral("0101.00.00.000A"), kDuplicateNcm}));
        QCOMPARE(gridColumn(grid, 1), (QStringList{QStringLiteral("07"), QStringLiteral("08")}));
        QCOMPARE(grid->currentRow(), 0);
        QVERIFY(grid->selectionModel()->isRowSelected(0, QModelIndex()));
    }

    void config_unknownUnitSelectsFirstAndSaves_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("missing") << false;
        QTest::newRow("no longer in Calvera") << true;
    }
    void config_unknownUnitSelectsFirstAndSaves()
    {
        QFETCH(bool, stored);
        if (stored) env->setSetting(QStringLiteral("INTDUN"), QStringLiteral("99"));
        connectEnv();
        const QString firstUnit =
            env->scalarCalvera(QStringLiteral("INTERNOS"),
                               QStringLiteral("select id from unidades order by descripcion"))
                .toString();
        ScriptedInteraction script;
        frmConfig w;
        QCOMPARE(child<QComboBox>(w, "cboUnidad")->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(w, "cboCatalogo")->currentIndex(), 0);
        QCOMPARE(child<QLineEdit>(w, "txtPRECIO_RANGO")->text(), QStringLiteral("0"));
        QVERIFY(activate(w));
        auto *state = child<QLineEdit>(w, "txtEstadoMerc");
        QTest::keyClicks(state, QStringLiteral("1"));
        QTest::keyClick(state, Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(env->setting(QStringLiteral("INTDUN")), firstUnit);
        QCOMPARE(shared().INTDUN, firstUnit);
        QCOMPARE(env->setting(QStringLiteral("INTCAT")), QStringLiteral("001"));
        QCOMPARE(env->setting(QStringLiteral("PRCESM")), QStringLiteral("1"));
        QVERIFY(env->hasSetting(QStringLiteral("AA_MARCA")));
        QCOMPARE(env->setting(QStringLiteral("PRECIO_UNITARIO")), QStringLiteral("0"));
    }

    void config_toleranceKeysAndSave_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("typed"); // "k" stands for the keypad's decimal key
        QTest::addColumn<QString>("stored");
        QTest::addColumn<double>("value");
        QTest::newRow("comma, keypad") << true << QStringLiteral("5k5") << QStringLiteral("5,5") << 5.5;
        QTest::newRow("comma, typed") << true << QStringLiteral("5,5") << QStringLiteral("5,5") << 5.5;
        QTest::newRow("point, keypad") << false << QStringLiteral("5k5") << QStringLiteral("5.5") << 5.5;
        QTest::newRow("comma, rounded") << true << QStringLiteral("7,125") << QStringLiteral("7,125") << 7.13;
        QTest::newRow("point, rounded")
            << false << QStringLiteral("-7.125") << QStringLiteral("-7.125") << -7.13;
    }
    void config_toleranceKeysAndSave()
    {
        QFETCH(bool, comma);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(double, value);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        env->setSetting(QStringLiteral("PRCESM"), QStringLiteral("2"));
        connectEnv();
        ScriptedInteraction script;
        frmConfig w;
        QVERIFY(activate(w));
        auto *state = child<QLineEdit>(w, "txtEstadoMerc");
        auto *range = child<QLineEdit>(w, "txtPRECIO_RANGO");
        state->setFocus();
        QTest::keyClick(state, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), range);
        QCOMPARE(range->palette().color(QPalette::Base), kGreen);
        QCOMPARE(range->selectedText(), range->text());
        for (QChar ch : typed) {
            if (ch == QLatin1Char('k'))
                QTest::keyClick(range, Qt::Key_Period, Qt::KeypadModifier);
            else
                QTest::keyClicks(range, QString(ch));
        }
        QCOMPARE(range->text(), stored);
        QTest::keyClick(range, Qt::Key_Up);
        QTRY_COMPARE(QApplication::focusWidget(), state);
        range->setFocus();
        QTest::keyClick(range, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(w, "txt_Marca"));
        QCOMPARE(range->palette().color(QPalette::Base), QColor(Qt::white));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(!w.isVisible());
        QCOMPARE(env->setting(QStringLiteral("PRECIO_UNITARIO")), stored);
        QCOMPARE(shared().PRECIO_UNITARIO, value);
    }

    void config_toleranceNotNumberRefused()
    {
        connectEnv();
        ScriptedInteraction script;
        frmConfig w;
        shared().PRECIO_UNITARIO = 3;
        QVERIFY(activate(w));
        auto *range = child<QLineEdit>(w, "txtPRECIO_RANGO");
        range->setText(QStringLiteral("abc"));
        auto *brand = child<QLineEdit>(w, "txt_Marca");
        brand->setFocus();
        // Goods state empty too: only the first check speaks.
        script.expectMessage(QStringLiteral("Debe ingresar un valor numerico en Rango de Variacion"),
                             Icon::Exclamation);
        QTest::keyClick(brand, Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(w.isVisible());
        QCOMPARE(QApplication::focusWidget(), range);
        for (const char *key : {"INTDUN", "INTCAT", "PRCESM", "AA_MARCA", "PRECIO_UNITARIO"})
            QVERIFY2(!env->hasSetting(QLatin1String(key)), key);
        QCOMPARE(shared().PRECIO_UNITARIO, 3.0);
    }

    void config_emptyGoodsStateSavedThenWarned()
    {
        env->setSetting(QStringLiteral("PRCESM"), QStringLiteral("1"));
        connectEnv();
        ScriptedInteraction script;
        frmConfig w;
        QVERIFY(activate(w));
        auto *state = child<QLineEdit>(w, "txtEstadoMerc");
        state->setText(QStringLiteral(" "));
        child<QLineEdit>(w, "txt_Marca")->setText(QStringLiteral("ACME"));
        script.expectMessage(QStringLiteral("Debe ingresar el Código de Estado de Mercaderia"),
                             Icon::Exclamation);
        QTest::keyClick(state, Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(w.isVisible());
        QCOMPARE(env->setting(QStringLiteral("PRCESM")), QStringLiteral(" "));
        QCOMPARE(env->setting(QStringLiteral("AA_MARCA")), QStringLiteral("ACME"));
        QCOMPARE(shared().AA_MARCA, QStringLiteral("ACME"));
        QCOMPARE(env->setting(QStringLiteral("INTCAT")), QStringLiteral("001"));

        state->setText(QStringLiteral("3"));
        QTest::keyClick(state, Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(!w.isVisible());
        QCOMPARE(shared().PRCESM, QStringLiteral("3"));
    }

    void config_deleteRules()
    {
        connectEnv();
        env->exec(
            QStringLiteral("insert into NCMDEC (NCM, DECLARADA) values ('84''71','07'), ('9999','01')"));
        ScriptedInteraction script;
        frmConfig w;
        QVERIFY(activate(w));
        auto *grid = child<QTableWidget>(w, "GridUnidDecl");
        grid->setFocus();
        QCOMPARE(gridColumn(grid, 0),
                 (QStringList{kDuplicateNcm, QStringLiteral("84'71"), QStringLiteral("9999")}));

        grid->setCurrentCell(1, 0);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(gridColumn(grid, 0), (QStringList{kDuplicateNcm, QStringLiteral("9999")}));
        QCOMPARE(env->scalar(QStringLiteral("select count(*) from NCMDEC where NCM = '84''71'")).toInt(), 0);

        // A rule gone from the table meanwhile: nothing deleted, the grid unchanged.
        env->exec(QStringLiteral("delete from NCMDEC where NCM = '9999'"));
        grid->setCurrentCell(1, 0);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(grid->rowCount(), 2);

        env->exec(QStringLiteral("drop table NCMDEC"));
        script.expectMessage(
            QStringLiteral("no such table: NCMDEC\r\n\r\n1 - seccion [Planexo.frmConfig.Eliminar_PaisRel]"),
            Icon::Critical);
        QTest::keyClick(grid, Qt::Key_Delete);
        VERIFY_SCRIPT(script);
        QCOMPARE(grid->rowCount(), 2);
    }

    void config_deleteOnlyRuleThenNothing()
    {
        connectEnv();
        ScriptedInteraction script;
        frmConfig w;
        QVERIFY(activate(w));
        auto *grid = child<QTableWidget>(w, "GridUnidDecl");
        grid->setFocus();
        QCOMPARE(grid->rowCount(), 1);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(grid->rowCount(), 0);
        QCOMPARE(env->scalar(QStringLiteral("select count(*) from NCMDEC")).toInt(), 0);
        // Header only: Delete does nothing, not even a failure with the table gone.
        env->exec(QStringLiteral("drop table NCMDEC"));
        QTest::keyClick(grid, Qt::Key_Delete);
        VERIFY_SCRIPT(script);
        QVERIFY(w.isVisible());
    }

    void config_insertRuleReloads()
    {
        connectEnv();
        ScriptedInteraction script;
        frmConfig w;
        QVERIFY(activate(w));
        auto *grid = child<QTableWidget>(w, "GridUnidDecl");
        grid->setFocus();
        script.expectModal(QStringLiteral("frmNewPais"), [&](QDialog &d) {
            d.show();
            QTest::keyClicks(child<QLineEdit>(d, "txtNCM"), QStringLiteral("0101.00.00.000A"));
            auto *unit = child<QComboBox>(d, "cboUnidad");
            unit->setCurrentIndex(unit->findText(QStringLiteral("PAR")));
            QTest::keyClick(child<QLineEdit>(d, "txtNCM"), Qt::Key_F11);
            return d.result();
        });
        QTest::keyClick(grid, Qt::Key_Insert);
        VERIFY_SCRIPT(script);
        QCOMPARE(gridColumn(grid, 0), (QStringList{QStringLiteral("0101.00.00.000A"), kDuplicateNcm}));
        QCOMPARE(gridColumn(grid, 1), (QStringList{QStringLiteral("08"), QStringLiteral("08")}));
        QCOMPARE(shared().sNewRuleNcm, QStringLiteral("0101.00.00.000A"));
        QCOMPARE(shared().sNewRuleUnit, QStringLiteral("08"));
    }

    void config_insertFailedThenEscapeDoesNotReload()
    {
        connectEnv();
        shared().sNewRuleNcm = QStringLiteral("anterior");
        shared().sNewRuleUnit = QStringLiteral("01");
        ScriptedInteraction script;
        frmConfig w;
        QVERIFY(activate(w));
        auto *grid = child<QTableWidget>(w, "GridUnidDecl");
        grid->setFocus();
        script.expectModal(QStringLiteral("frmNewPais"), [&](QDialog &d) {
            d.show();
            auto *ncm = child<QLineEdit>(d, "txtNCM");
            QTest::keyClicks(ncm, kDuplicateNcm);
            child<QComboBox>(d, "cboUnidad")->setCurrentIndex(0);
            QTest::keyClick(ncm, Qt::Key_F11);
            if (!d.isVisible()) return -1;
            // Another rule appears meanwhile; only a reload would show it.
            env->exec(QStringLiteral("insert into NCMDEC (NCM, DECLARADA) values ('0000','01')"));
            QTest::keyClick(ncm, Qt::Key_Escape);
            return d.result();
        });
        script.expectMessage(
            TestEnv::duplicateKeyText() +
                QStringLiteral("\r\n\r\n1555 - seccion [Planexo.frmNewPais.AgregarRelacionPaisOrigen]"),
            Icon::Critical);
        QTest::keyClick(grid, Qt::Key_Insert);
        VERIFY_SCRIPT(script);
        QCOMPARE(gridColumn(grid, 0), QStringList{kDuplicateNcm});
        QCOMPARE(shared().sNewRuleNcm, QString());
        QCOMPARE(shared().sNewRuleUnit, QString());
    }

    void config_unreachableCalvera()
    {
        env->setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
        env->setSetting(QStringLiteral("INTCAT"), QStringLiteral("002"));
        const QString unreachable = env->makeInternosUnreachable();
        connectEnv();
        ScriptedInteraction script;
        script.expectMessage(
            unreachable + QStringLiteral("\r\n\r\n-2147467259 - seccion [Planexo.frmConfig.Form_Load]"),
            Icon::Critical);
        frmConfig w;
        VERIFY_SCRIPT(script);
        QCOMPARE(child<QComboBox>(w, "cboUnidad")->count(), 0);
        QCOMPARE(child<QComboBox>(w, "cboCatalogo")->count(), 0);
        QCOMPARE(child<QTableWidget>(w, "GridUnidDecl")->rowCount(), 1);
        QVERIFY(activate(w));
        auto *state = child<QLineEdit>(w, "txtEstadoMerc");
        state->setText(QStringLiteral("1"));
        QTest::keyClick(state, Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(!w.isVisible());
        // Lists that could not be read keep what was stored.
        QCOMPARE(env->setting(QStringLiteral("INTDUN")), QStringLiteral("07"));
        QCOMPARE(env->setting(QStringLiteral("INTCAT")), QStringLiteral("002"));
        QCOMPARE(shared().INTCAT, QStringLiteral("002"));
    }

    void config_emptyCalveraListsSaveEmpty()
    {
        env->setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
        env->setSetting(QStringLiteral("INTCAT"), QStringLiteral("002"));
        connectEnv();
        env->execCalvera(QStringLiteral("INTERNOS"), QStringLiteral("delete from unidades"));
        env->execCalvera(QStringLiteral("INTERNOS"), QStringLiteral("delete from catalogo"));
        ScriptedInteraction script;
        frmConfig w;
        QCOMPARE(child<QComboBox>(w, "cboUnidad")->currentIndex(), -1);
        QVERIFY(activate(w));
        auto *state = child<QLineEdit>(w, "txtEstadoMerc");
        state->setText(QStringLiteral("1"));
        QTest::keyClick(state, Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(env->hasSetting(QStringLiteral("INTDUN")));
        QCOMPARE(env->setting(QStringLiteral("INTDUN")), QString());
        QCOMPARE(env->setting(QStringLiteral("INTCAT")), QString());
    }

    void config_loadFailuresLeaveWindowUsable()
    {
        env->setSetting(QStringLiteral("PRECIO_UNITARIO"), QStringLiteral("abc"));
        connectEnv();
        env->exec(QStringLiteral("drop table NCMDEC"));
        shared().PRECIO_UNITARIO = 3;
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral("No coinciden los tipos\r\n\r\n13 - seccion [Planexo.frmConfig.Form_Load]"),
            Icon::Critical);
        script.expectMessage(
            QStringLiteral("no such table: NCMDEC\r\n\r\n1 - seccion [Planexo.frmConfig.Form_Load]"),
            Icon::Critical);
        frmConfig w;
        VERIFY_SCRIPT(script);
        QCOMPARE(child<QLineEdit>(w, "txtPRECIO_RANGO")->text(), QStringLiteral("abc"));
        QCOMPARE(shared().PRECIO_UNITARIO, 3.0);
        QVERIFY(child<QComboBox>(w, "cboUnidad")->count() > 0);
        QVERIFY(child<QComboBox>(w, "cboCatalogo")->count() > 0);
        QVERIFY(activate(w));
        script.expectMessage(QStringLiteral("Debe ingresar un valor numerico en Rango de Variacion"),
                             Icon::Exclamation);
        QTest::keyClick(child<QLineEdit>(w, "txtPRECIO_RANGO"), Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(w.isVisible());
    }

    // Escape with a list dropped down saves and leaves, as with the list closed.
    void config_escapeWithListDroppedDown()
    {
        env->setSetting(QStringLiteral("PRCESM"), QStringLiteral("1"));
        connectEnv();
        ScriptedInteraction script;
        for (const char *name : {"cboUnidad", "cboCatalogo"}) {
            frmConfig w;
            QVERIFY(activate(w));
            auto *list = child<QComboBox>(w, name);
            QVERIFY(list->count() > 1);
            list->setCurrentIndex(1);
            child<QLineEdit>(w, "txt_Marca")->setText(QLatin1String(name));
            list->setFocus();
            list->showPopup();
            QTRY_VERIFY(list->view()->isVisible());
            QTest::keyClick(list->view(), Qt::Key_Escape);
            VERIFY_SCRIPT(script);
            QVERIFY2(!w.isVisible(), name);
            QVERIFY(!list->view()->isVisible());
            QCOMPARE(env->setting(QStringLiteral("AA_MARCA")), QLatin1String(name));
        }
        QCOMPARE(env->setting(QStringLiteral("INTCAT")), shared().INTCAT);
        QVERIFY(!shared().INTCAT.isEmpty());
    }

    // The close box saves like Escape; a failed check keeps the window open.
    void config_closeBoxSaves()
    {
        connectEnv();
        ScriptedInteraction script;
        frmConfig w;
        QVERIFY(activate(w));
        auto *range = child<QLineEdit>(w, "txtPRECIO_RANGO");
        range->setText(QStringLiteral("abc"));
        child<QLineEdit>(w, "txtEstadoMerc")->setText(QStringLiteral("4"));
        child<QLineEdit>(w, "txt_Marca")->setText(QStringLiteral("ACME"));
        script.expectMessage(QStringLiteral("Debe ingresar un valor numerico en Rango de Variacion"),
                             Icon::Exclamation);
        QVERIFY(!w.close());
        VERIFY_SCRIPT(script);
        QVERIFY(w.isVisible());
        QVERIFY(!env->hasSetting(QStringLiteral("AA_MARCA")));

        range->setText(QStringLiteral("2,5"));
        QVERIFY(w.close());
        VERIFY_SCRIPT(script);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(env->setting(QStringLiteral("AA_MARCA")), QStringLiteral("ACME"));
        QCOMPARE(env->setting(QStringLiteral("PRCESM")), QStringLiteral("4"));
        QCOMPARE(shared().PRECIO_UNITARIO, 2.5);
    }

    // ---- declared-unit rule dialog ----

    void newPais_checksInOrder()
    {
        connectEnv();
        ScriptedInteraction script;
        frmNewPais d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Nueva Relación Pais - Origen"));
        auto *ncm = child<QLineEdit>(d, "txtNCM");
        auto *unit = child<QComboBox>(d, "cboUnidad");
        QCOMPARE(unit->currentIndex(), -1);
        QCOMPARE(child<QComboBox>(d, "cboIdUnidad")->count(), unit->count());
        QVERIFY(unit->count() > 0);
        QVERIFY(activate(d));
        QTest::keyClicks(ncm, QStringLiteral("   "));
        script.expectMessage(QStringLiteral("Debe ingresar algun datos en el campo Nomenclador"),
                             Icon::Exclamation);
        QTest::keyClick(ncm, Qt::Key_F11);
        QTest::keyClicks(ncm, QStringLiteral("x"));
        script.expectMessage(QStringLiteral("Debe seleccionar un Unidad declarada"), Icon::Exclamation);
        QTest::keyClick(unit, Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QVERIFY(d.isVisible());
        QCOMPARE(env->scalar(QStringLiteral("select count(*) from NCMDEC")).toInt(), 1);
    }

    void newPais_storesNcmAsTyped()
    {
        connectEnv();
        ScriptedInteraction script;
        frmNewPais d;
        QVERIFY(activate(d));
        auto *ncm = child<QLineEdit>(d, "txtNCM");
        const QString typed = QStringLiteral(" 84'71.30 ");
        QTest::keyClicks(ncm, typed);
        auto *unit = child<QComboBox>(d, "cboUnidad");
        unit->setCurrentIndex(unit->findText(QStringLiteral("KILOGRAMO")));
        QTest::keyClick(ncm, Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(
            env->scalar(QStringLiteral("select DECLARADA from NCMDEC where NCM = ' 84''71.30 '")).toString(),
            QStringLiteral("01"));
        QCOMPARE(shared().sNewRuleNcm, typed);
        QCOMPARE(shared().sNewRuleUnit, QStringLiteral("01"));
    }

    // F11 and Escape with the unit list dropped down act as with it closed.
    void newPais_keysWithListDroppedDown()
    {
        connectEnv();
        ScriptedInteraction script;
        {
            frmNewPais d;
            QVERIFY(activate(d));
            QTest::keyClicks(child<QLineEdit>(d, "txtNCM"), QStringLiteral("0101.00.00.000A"));
            auto *unit = child<QComboBox>(d, "cboUnidad");
            unit->setCurrentIndex(unit->findText(QStringLiteral("PAR")));
            unit->setFocus();
            unit->showPopup();
            QTRY_VERIFY(unit->view()->isVisible());
            QTest::keyClick(unit->view(), Qt::Key_F11);
            VERIFY_SCRIPT(script);
            QVERIFY(!d.isVisible());
            QVERIFY(!unit->view()->isVisible());
            QCOMPARE(d.result(), int(QDialog::Accepted));
            QCOMPARE(shared().sNewRuleUnit, QStringLiteral("08"));
            QCOMPARE(env->scalar(QStringLiteral("select DECLARADA from NCMDEC where NCM = '0101.00.00.000A'"))
                         .toString(),
                     QStringLiteral("08"));
        }
        {
            frmNewPais d;
            QVERIFY(activate(d));
            auto *unit = child<QComboBox>(d, "cboUnidad");
            unit->setFocus();
            unit->showPopup();
            QTRY_VERIFY(unit->view()->isVisible());
            // Without an NCM the check speaks, the list dropped down or not.
            script.expectMessage(QStringLiteral("Debe ingresar algun datos en el campo Nomenclador"),
                                 Icon::Exclamation);
            QTest::keyClick(unit->view(), Qt::Key_F11);
            VERIFY_SCRIPT(script);
            QVERIFY(d.isVisible());
            unit->showPopup();
            QTRY_VERIFY(unit->view()->isVisible());
            QTest::keyClick(unit->view(), Qt::Key_Escape);
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QCOMPARE(shared().sNewRuleNcm, QString());
            QCOMPARE(shared().sNewRuleUnit, QString());
        }
    }

    void newPais_unitsUnreadable()
    {
        const QString unreachable = env->makeInternosUnreachable();
        connectEnv();
        ScriptedInteraction script;
        script.expectMessage(
            unreachable + QStringLiteral("\r\n\r\n-2147467259 - seccion [Planexo.frmNewPais.Form_Load]"),
            Icon::Critical);
        frmNewPais d;
        QCOMPARE(child<QComboBox>(d, "cboUnidad")->count(), 0);
        QVERIFY(activate(d));
        auto *ncm = child<QLineEdit>(d, "txtNCM");
        QTest::keyClicks(ncm, QStringLiteral("0101"));
        script.expectMessage(QStringLiteral("Debe seleccionar un Unidad declarada"), Icon::Exclamation);
        QTest::keyClick(ncm, Qt::Key_F11);
        shared().sNewRuleNcm = QStringLiteral("x");
        QTest::keyClick(ncm, Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QVERIFY(!d.isVisible());
        QCOMPARE(shared().sNewRuleNcm, QString());
    }
};

QTEST_MAIN(TestConfig)
#include "test_config.moc"
