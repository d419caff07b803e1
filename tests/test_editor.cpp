// The record editor: loading a row, processing its position, the validation rules in their order,
// the saved row, the failures, and the hand-over from the record lists window.
#include "shared/SharedState.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "ui/process/ResultsPanel.h"
#include "ui/review/FrmPosicion.h"
#include "review/SuffixVerification.h"
#include "ui/review/frmDEP.h"
#include "ui/review/frmModificar.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
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
QString text(const QWidget &w, const char *name)
{
    return box(w, name)->text();
}
QString tagOf(const QWidget &w, const char *name)
{
    return child<QWidget>(w, name)->property("Tag").toString();
}

const QString kFalta = QStringLiteral("Falta información sobre la posición arancelaria.");

// Row 1: graded OK, LAPI, specific duty, position stored with commas. Row 2: position error,
// country code that is no country. Row 3: new article, all Null. Row 4: OK but its position is not
// in the nomenclator. T2's row must never change.
void fillShipment(TestEnv &env)
{
    env.exec(QStringLiteral(
        "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTORG, ARTCAN, ARTUNI, ARTTOT, DESCRIPCION_MARIA, "
        "PRCNCM, PRCSUF, PRCLAP, PRCDUN, PRCEUN, PRCECA, PRCSUN, PRCSCA, PRCESM, PRCEST, PRCCRC) values "
        "('T1', 1, 'HM-01', 'Taladro', '310', 6, 2.5, 15, 'TALADRO PERCUTOR', '8467,21,00,100A', "
        " 'AA(BOSCH)-AB(HM 01)-ZA(000500)-', 'S', '07', '07', 6, '08', 3.25, '1', 'A', 'OK'),"
        "('T1', 2, 'ZP-2', 'Pinza', 'XX', 4, 10, 40, NULL, '8252.00.00.000C', NULL, NULL, '07', NULL, NULL, "
        " NULL, 9, '1', 'E', 'POS'),"
        "('T1', 3, 'N''3', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
        "NULL, "
        " NULL, NULL, NULL),"
        "('T1', 4, 'C4', 'Otra', '212', 1, 1, 1, NULL, '8252.00.00.000C', 'AA(X)-AB(Y)-', 'N', '07', '07', "
        "1, "
        " NULL, NULL, '1', 'A', 'OK'),"
        "('T2', 2, 'OTRO', 'Otro interno', 'XX', 1, 1, 1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
        "NULL, "
        " NULL, 'E', 'POS')"));
}

// Stands in for the suffix verification: records its arguments and returns a scripted text.
struct FakeSuffixes {
    QString result;
    QStringList calls;
    frmModificar::SuffixVerifier verifier()
    {
        return [this](const QString &ncm, QString &previous, int mode, QString &article) {
            calls << QStringLiteral("%1|%2|%3|%4").arg(ncm, previous).arg(mode).arg(article);
            return result;
        };
    }
};

QString dec()
{
    return QString(QLocale().decimalPoint());
}

void setLocale(bool comma)
{
    comma ? TestEnv::useComma() : TestEnv::usePoint();
}

} // namespace

class TestEditor : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    FakeSuffixes fake;

    // An editor on a row of shipment T1, loaded as the first showing does.
    std::unique_ptr<frmModificar> open(const QString &tag)
    {
        auto w = std::make_unique<frmModificar>();
        w->verificarSufijos = fake.verifier();
        w->setTag(tag);
        w->show();
        return w;
    }

    QVariant column(int order, const char *name, const char *shipment = "T1")
    {
        return env->scalar(QStringLiteral("select %1 from ART where INTNRO = '%2' and ARTORD = %3")
                               .arg(QLatin1String(name), QLatin1String(shipment))
                               .arg(order));
    }

    void pressEnterOn(frmModificar &w, const QString &position)
    {
        QLineEdit *ncm = box(w, "txtPRCNCM");
        ncm->clear();
        QTest::keyClicks(ncm, position);
        QTest::keyClick(ncm, Qt::Key_Return);
    }

  private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->connect();
        shared().sInternoActual = QStringLiteral("T1");
        fillShipment(*env);
        fake = FakeSuffixes();
        fake.result = QStringLiteral("AA(MARCA)-AB(MODELO)-");
    }
    void cleanup()
    {
        env.reset();
        QLocale::setDefault(QLocale::c());
    }

    // Caption, controls, labels and their buddies, design texts, and a row that does not exist
    // leaves them as designed.
    void designState()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0099"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Modificar"));
        QCOMPARE(child<QGroupBox>(*w, "Frame1")->title(), QStringLiteral("Datos del archivo origen"));
        QCOMPARE(child<QGroupBox>(*w, "Frame2")->title(), QStringLiteral("Datos Extra"));
        QCOMPARE(child<QLabel>(*w, "Label17")->text(), QStringLiteral("[F11] Guardar -  [ESC]  Salir"));

        const QList<QPair<const char *, QString>> buddies = {{"txtARTNRO", "Articulo"},
                                                             {"txtARTDSC", "Descripción"},
                                                             {"txtARTORG", "Origen"},
                                                             {"txtARTCAN", "Cantidad"},
                                                             {"txtARTUNI", "Unitario"},
                                                             {"txtARTTOT", "Total"},
                                                             {"txtPRCNCM", "Posición"},
                                                             {"txtPRCECA", "Unidad Estadistica"},
                                                             {"txtPRCSCA", "Derecho Especifico [01]"},
                                                             {"txtPRCDUN", "Unidad Declarada"},
                                                             {"txtPRCESM", "Estado Mercaderia"},
                                                             {"cboPRCORI", "Pais Origen"},
                                                             {"txtPRCSUF", "Sufijos"},
                                                             {"txtARTDSCMARIA", "Descripción Maria"}};
        for (const auto &[name, caption] : buddies) {
            QWidget *control = child<QWidget>(*w, name);
            QLabel *label = nullptr;
            for (QLabel *l : w->findChildren<QLabel *>())
                if (l->buddy() == control) label = l;
            QVERIFY2(label, name);
            QCOMPARE(label->text(), caption);
        }
        QCOMPARE(child<QLabel>(*w, "lbPRCEUN")->buddy(), child<QWidget>(*w, "txtPRCECA"));
        QCOMPARE(child<QLabel>(*w, "lbPRCSUN")->buddy(), child<QWidget>(*w, "txtPRCSCA"));
        QVERIFY(!child<QLabel>(*w, "lbEstado")->accessibleName().isEmpty());
        QVERIFY(!child<QWidget>(*w, "cboidPRCORI")->accessibleName().isEmpty());

        // Design texts stay: the row does not exist.
        QCOMPARE(text(*w, "txtPRCNCM"), QStringLiteral("8252.00.00.000B"));
        QCOMPARE(text(*w, "txtPRCECA"), QStringLiteral("00.00"));
        QCOMPARE(text(*w, "txtPRCSCA"), QStringLiteral("00.00"));
        QCOMPARE(text(*w, "txtPRCESM"), QStringLiteral("1"));
        QVERIFY(child<QWidget>(*w, "txtPRCSCA")->isHidden());
        QVERIFY(child<QWidget>(*w, "lbPRCLAP")->isHidden());
        QVERIFY(child<QWidget>(*w, "cboidPRCORI")->isHidden());
        QCOMPARE(child<QLabel>(*w, "lbPRCLAP")->text(), QStringLiteral("LAPI"));
        QCOMPARE(child<QComboBox>(*w, "cboPRCORI")->count(), 0);

        for (const char *name :
             {"txtARTNRO", "txtARTDSC", "txtARTORG", "txtARTCAN", "txtARTUNI", "txtARTTOT"})
            QVERIFY(box(*w, name)->isReadOnly());
        QVERIFY(child<QPlainTextEdit>(*w, "txtPRCSUF")->isReadOnly());
        QCOMPARE(child<QPlainTextEdit>(*w, "txtPRCSUF")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(int(box(*w, "txtPRCECA")->alignment() & Qt::AlignHorizontal_Mask), int(Qt::AlignRight));
        QCOMPARE(int(box(*w, "txtPRCSCA")->alignment() & Qt::AlignHorizontal_Mask), int(Qt::AlignRight));
        QCOMPARE(int(box(*w, "txtPRCDUN")->alignment() & Qt::AlignHorizontal_Mask), int(Qt::AlignHCenter));
        QCOMPARE(int(box(*w, "txtPRCESM")->alignment() & Qt::AlignHorizontal_Mask), int(Qt::AlignHCenter));

        // Tab order of the editable section (the hidden specific-duty box is skipped).
        QStringList order;
        QWidget *next = box(*w, "txtPRCNCM");
        for (int i = 0; i < 7; ++i) {
            order << next->objectName();
            next = next->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus) || next->isHidden() || next->objectName().isEmpty())
                next = next->nextInFocusChain();
        }
        QCOMPARE(order, (QStringList{"txtPRCNCM", "txtPRCECA", "txtPRCDUN", "txtPRCESM", "cboPRCORI",
                                     "txtPRCSUF", "txtARTDSCMARIA"}));
        VERIFY_SCRIPT(script);
    }

    void loadsRecordOk_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::newRow("comma locale") << true;
        QTest::newRow("point locale") << false;
    }
    void loadsRecordOk()
    {
        QFETCH(bool, comma);
        setLocale(comma);
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0001"));
        const QString d = dec();
        QCOMPARE(text(*w, "txtARTNRO"), QStringLiteral("HM-01"));
        QCOMPARE(text(*w, "txtARTDSC"), QStringLiteral("Taladro"));
        QCOMPARE(text(*w, "txtARTORG"), QStringLiteral("310"));
        QCOMPARE(text(*w, "txtARTCAN"), "06" + d + "00");
        QCOMPARE(text(*w, "txtARTUNI"), "02" + d + "50");
        QCOMPARE(text(*w, "txtARTTOT"), "15" + d + "00");
        QCOMPARE(child<QLabel>(*w, "lbEstado")->text(), QStringLiteral("OK"));
        QCOMPARE(text(*w, "txtPRCNCM"), QStringLiteral("8467.21.00.100A"));
        QCOMPARE(text(*w, "txtPRCECA"), "06" + d + "00");
        QCOMPARE(child<QLabel>(*w, "lbPRCEUN")->text(), QStringLiteral("Unidad Estadistica [07]"));
        QCOMPARE(child<QLabel>(*w, "lbPRCSUN")->text(), QStringLiteral("Derecho Especifico [08]"));
        QVERIFY(!child<QWidget>(*w, "lbPRCSUN")->isHidden());
        QVERIFY(!box(*w, "txtPRCSCA")->isHidden());
        QCOMPARE(text(*w, "txtPRCSCA"), "03" + d + "25");
        QCOMPARE(tagOf(*w, "txtPRCSCA"), QStringLiteral("08"));
        QCOMPARE(text(*w, "txtPRCDUN"), QStringLiteral("07"));
        QCOMPARE(text(*w, "txtPRCESM"), QStringLiteral("1"));
        QCOMPARE(child<QPlainTextEdit>(*w, "txtPRCSUF")->toPlainText(),
                 QStringLiteral("AA(BOSCH)-AB(HM 01)-ZA(000500)-"));
        QCOMPARE(text(*w, "txtARTDSCMARIA"), QStringLiteral("TALADRO PERCUTOR"));
        // An OK record keeps its statistical unit and LAPI mark.
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QStringLiteral("07"));
        QCOMPARE(tagOf(*w, "lbPRCLAP"), QStringLiteral("S"));
        QVERIFY(!child<QWidget>(*w, "lbPRCLAP")->isHidden());
        // Countries by description, the hidden twin holding the id at the same index.
        auto *names = child<QComboBox>(*w, "cboPRCORI");
        auto *ids = child<QComboBox>(*w, "cboidPRCORI");
        QCOMPARE(names->count(), env->scalar(QStringLiteral("select count(*) from PAIS")).toInt());
        QCOMPARE(ids->count(), names->count());
        QCOMPARE(names->itemText(0), QStringLiteral("AFGANISTAN"));
        QCOMPARE(ids->itemText(0), QStringLiteral("301"));
        QCOMPARE(names->currentText(), QStringLiteral("CHINA"));
        QCOMPARE(ids->itemText(names->currentIndex()), QStringLiteral("310"));
        // Later activations do not reload.
        box(*w, "txtPRCDUN")->setText(QStringLiteral("99"));
        w->hide();
        w->show();
        QCOMPARE(text(*w, "txtPRCDUN"), QStringLiteral("99"));
        VERIFY_SCRIPT(script);
    }

    void loadsRecordWithErrorsAndNewRecord()
    {
        TestEnv::useComma();
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0002"));
        QCOMPARE(child<QLabel>(*w, "lbEstado")->text(), QStringLiteral("POS"));
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QString());
        QCOMPARE(tagOf(*w, "lbPRCLAP"), QString());
        QVERIFY(child<QWidget>(*w, "lbPRCLAP")->isHidden());
        QCOMPARE(child<QLabel>(*w, "lbPRCEUN")->text(), QStringLiteral("Unidad Estadistica []"));
        // No specific-duty unit: label hidden and emptied, the box hidden holding "0".
        QVERIFY(child<QWidget>(*w, "lbPRCSUN")->isHidden());
        QCOMPARE(child<QLabel>(*w, "lbPRCSUN")->text(), QString());
        QVERIFY(box(*w, "txtPRCSCA")->isHidden());
        QCOMPARE(text(*w, "txtPRCSCA"), QStringLiteral("0"));
        QCOMPARE(tagOf(*w, "txtPRCSCA"), QString());
        // "XX" is no country id: nothing selected.
        QCOMPARE(child<QComboBox>(*w, "cboPRCORI")->currentIndex(), -1);
        QCOMPARE(text(*w, "txtPRCECA"), QStringLiteral("00,00"));

        // Not processed since loading: F11 refuses and writes nothing.
        script.expectMessage(kFalta, Icon::Exclamation);
        QTest::keyClick(box(*w, "txtPRCDUN"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QCOMPARE(column(2, "PRCEST").toString(), QStringLiteral("E"));
        QVERIFY(w->isVisible());

        auto n = open(QStringLiteral("0003"));
        QCOMPARE(text(*n, "txtARTNRO"), QStringLiteral("N'3"));
        for (const char *name :
             {"txtARTDSC", "txtARTORG", "txtPRCNCM", "txtPRCDUN", "txtPRCESM", "txtARTDSCMARIA"})
            QCOMPARE(text(*n, name), QString());
        for (const char *name : {"txtARTCAN", "txtARTUNI", "txtARTTOT", "txtPRCECA"})
            QCOMPARE(text(*n, name), QStringLiteral("00,00"));
        QCOMPARE(child<QLabel>(*n, "lbEstado")->text(), QString());
        VERIFY_SCRIPT(script);
    }

    // Enter checks the structure, looks the position up (commas read as points), refreshes the
    // statistical unit, the suffixes and the LAPI mark; the box keeps what was typed.
    void enterProcessesPosition()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0002"));
        auto *ncmBox = box(*w, "txtPRCNCM");

        script.expectMessage(QStringLiteral("Error en la estructura de la posición"), Icon::Exclamation);
        pressEnterOn(*w, QStringLiteral("8252.00.00.00"));
        script.expectMessage(QStringLiteral("Error en la estructura de la posición"), Icon::Exclamation);
        pressEnterOn(*w, QStringLiteral("8252.00.00.000B1"));
        script.expectMessage(QStringLiteral("Posición no encontrada en Nomenclador"), Icon::Exclamation);
        pressEnterOn(*w, QStringLiteral("8252.00.00.000Z"));
        // 14 characters pass the structure check; the last digit stands for the check letter.
        script.expectMessage(QStringLiteral("Posición no encontrada en Nomenclador"), Icon::Exclamation);
        pressEnterOn(*w, QStringLiteral("8252.00.00.000"));
        VERIFY_SCRIPT(script);
        QVERIFY(fake.calls.isEmpty());
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QString());

        pressEnterOn(*w, QStringLiteral("8252,00,00,000B"));
        QCOMPARE(shared().enlace->getDataConnectionByEntity(QStringLiteral("NCM")).Sql,
                 TestEnv::calveraSql(
                     QStringLiteral("select [001],[002],[003],[012] as uest ,[059] as lapi from NCM "
                                    "where  [001] = '8252.00.00' and [002] = '000'  and [003] = 'B'")));
        QCOMPARE(fake.calls, QStringList{QStringLiteral("8252.00.00.000B||1|ZP-2")});
        QCOMPARE(ncmBox->text(), QStringLiteral("8252,00,00,000B"));
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QStringLiteral("07"));
        QCOMPARE(child<QLabel>(*w, "lbPRCEUN")->text(), QStringLiteral("Unidad Estadistica [07]"));
        QCOMPARE(child<QPlainTextEdit>(*w, "txtPRCSUF")->toPlainText(),
                 QStringLiteral("AA(MARCA)-AB(MODELO)-"));
        QCOMPARE(tagOf(*w, "lbPRCLAP"), QStringLiteral("N"));
        QVERIFY(child<QWidget>(*w, "lbPRCLAP")->isHidden());

        // Another unit; the current suffixes go to the
        // verification, whose answer (also empty) replaces them.
        fake.result = QString();
        pressEnterOn(*w, QStringLiteral("8544.49.00.900Z"));
        QCOMPARE(fake.calls.last(), QStringLiteral("8544.49.00.900Z|AA(MARCA)-AB(MODELO)-|1|ZP-2"));
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QStringLiteral("01"));
        QCOMPARE(child<QPlainTextEdit>(*w, "txtPRCSUF")->toPlainText(), QString());
        fake.result = QStringLiteral("SIN SUFIJOS");
        pressEnterOn(*w, QStringLiteral("8467.21.00.100A"));
        QCOMPARE(tagOf(*w, "lbPRCLAP"), QStringLiteral("S"));
        QVERIFY(!child<QWidget>(*w, "lbPRCLAP")->isHidden());
        QCOMPARE(child<QPlainTextEdit>(*w, "txtPRCSUF")->toPlainText(), QStringLiteral("SIN SUFIJOS"));
        // A failed lookup keeps the state of the last processed position.
        script.expectMessage(QStringLiteral("Posición no encontrada en Nomenclador"), Icon::Exclamation);
        pressEnterOn(*w, QStringLiteral("9999.99.99.999Z"));
        QCOMPARE(tagOf(*w, "lbPRCLAP"), QStringLiteral("S"));
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QStringLiteral("07"));
        VERIFY_SCRIPT(script);
        QCOMPARE(script.busyDepth(), 0);
        QVERIFY(script.busyCalls() >= 8);
    }

    // Keypad Enter processes the position too; Enter elsewhere does nothing. The editor calls the
    // real suffix verification unless a test replaces it.
    void enterOnlyInPositionBox()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0002"));
        box(*w, "txtPRCNCM")->setText(QStringLiteral("8252.00.00.000B"));
        for (const char *name : {"txtPRCDUN", "txtPRCECA", "txtARTDSCMARIA"})
            QTest::keyClick(box(*w, name), Qt::Key_Return);
        QVERIFY(w->isVisible());
        QVERIFY(fake.calls.isEmpty());
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QString());
        QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(fake.calls.size(), 1);
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QStringLiteral("07"));
        VERIFY_SCRIPT(script);

        frmModificar fresh;
        using Verifier = QString (*)(const QString &, QString &, int, QString &);
        QVERIFY(fresh.verificarSufijos.target<Verifier>());
        QVERIFY(*fresh.verificarSufijos.target<Verifier>() == &VerificarSufijos);
    }

    // Each rule in turn, the first failing one reporting; nothing is written until all pass.
    void validationRulesInOrder()
    {
        TestEnv::useComma();
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0002"));
        auto f11 = [&] { QTest::keyClick(box(*w, "txtPRCESM"), Qt::Key_F11); };

        script.expectMessage(kFalta, Icon::Exclamation);
        f11();
        fake.result = QStringLiteral("AA(MARCA)-");
        pressEnterOn(*w, QStringLiteral("8252.00.00.000B"));
        box(*w, "txtPRCDUN")->setText(QStringLiteral("  "));
        script.expectMessage(QStringLiteral("Falta ingresar unidad declarada"), Icon::Exclamation);
        f11();
        box(*w, "txtPRCDUN")->setText(QStringLiteral("07"));
        box(*w, "txtPRCECA")->setText(QStringLiteral("5"));
        script.expectMessage(QStringLiteral("La Cantidad Declarada debe ser igual a la Cantidad Especifica"),
                             Icon::Exclamation);
        f11();
        box(*w, "txtPRCECA")->setText(QStringLiteral("4,00"));
        for (const char *state : {"A", "", " ", "1A"}) {
            box(*w, "txtPRCESM")->setText(QLatin1String(state));
            script.expectMessage(QStringLiteral("Estado de mercaderia inválida"), Icon::Critical);
            f11();
        }
        box(*w, "txtPRCESM")->setText(QStringLiteral(" 2 "));
        script.expectMessage(QStringLiteral("Sufijos inválidos"), Icon::Exclamation);
        f11();
        VERIFY_SCRIPT(script);
        QCOMPARE(column(2, "PRCEST").toString(), QStringLiteral("E"));
        QVERIFY(w->isVisible());
        QCOMPARE(shared().sRetorno, QString());

        fake.result = QStringLiteral("AA(MARCA)-AB(MODELO)-");
        pressEnterOn(*w, QStringLiteral("8252.00.00.000B"));
        f11();
        VERIFY_SCRIPT(script);
        QCOMPARE(column(2, "PRCEST").toString(), QStringLiteral("M"));
        QCOMPARE(column(2, "PRCESM").toString(), QStringLiteral(" 2 "));

        // An OK record whose position the nomenclator does not hold.
        auto other = open(QStringLiteral("0004"));
        script.expectMessage(QStringLiteral("La posición es Inexistente!"), Icon::Exclamation);
        QTest::keyClick(box(*other, "txtPRCNCM"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QCOMPARE(column(4, "PRCEST").toString(), QStringLiteral("A"));
    }

    // Only blanks count as an empty declared unit: a tab is a value (VB's Trim keeps it).
    void declaredUnitTrimsBlanksOnly()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0002"));
        pressEnterOn(*w, QStringLiteral("8252.00.00.000B"));
        box(*w, "txtPRCESM")->setText(QStringLiteral("2"));
        box(*w, "txtPRCDUN")->setText(QStringLiteral(" \t "));
        QTest::keyClick(box(*w, "txtPRCESM"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QCOMPARE(column(2, "PRCEST").toString(), QStringLiteral("M"));
        QCOMPARE(column(2, "PRCDUN").toString(), QStringLiteral(" \t "));
    }

    void savesCorrectedRecord_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::newRow("comma locale") << true;
        QTest::newRow("point locale") << false;
    }
    // Equal units with no statistical quantity take the invoice's; the statement writes every value,
    // numbers as numbers, and leaves the specific duty alone for a record without its unit.
    void savesCorrectedRecord()
    {
        QFETCH(bool, comma);
        setLocale(comma);
        ScriptedInteraction script;
        shared().sRetorno = QString();
        auto w = open(QStringLiteral("0002"));
        pressEnterOn(*w, QStringLiteral("8252.00.00.000B"));
        box(*w, "txtPRCESM")->setText(QStringLiteral("3"));
        box(*w, "txtARTDSCMARIA")->setText(QStringLiteral("PINZA O'HIGGINS"));
        auto *countries = child<QComboBox>(*w, "cboPRCORI");
        countries->setCurrentIndex(countries->findText(QStringLiteral("ALEMANIA")));
        QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_F11);
        VERIFY_SCRIPT(script);

        QCOMPARE(text(*w, "txtPRCECA"), "04" + dec() + "00");
        QCOMPARE(shared().gestor->Sql,
                 QStringLiteral("update ART set PRCNCM = '8252.00.00.000B', PRCLAP = 'N', PRCSUF = "
                                "'AA(MARCA)-AB(MODELO)-', PRCDUN = '07', PRCEUN = '07', PRCECA = 4, "
                                "DESCRIPCION_MARIA = 'PINZA O''HIGGINS', PRCESM = '3', ARTORG = '438', "
                                "PRCEST = 'M', PRCCRC = 'OK' where ARTORD = 2 and INTNRO = 'T1' "));
        QCOMPARE(column(2, "PRCECA").toDouble(), 4.0);
        QVERIFY(column(2, "PRCSUN").isNull());
        QCOMPARE(column(2, "PRCSCA").toDouble(), 9.0);
        QCOMPARE(column(2, "DESCRIPCION_MARIA").toString(), QStringLiteral("PINZA O'HIGGINS"));
        QCOMPARE(column(2, "ARTORG").toString(), QStringLiteral("438"));
        QCOMPARE(column(2, "PRCCRC").toString(), QStringLiteral("OK"));
        QCOMPARE(shared().sRetorno, QStringLiteral("OK"));
        QCOMPARE(w->result(), int(QDialog::Accepted));
        QVERIFY(!w->isVisible());
        QCOMPARE(w->tag(), QString());
        // Other shipments' rows with the same order are untouched.
        QCOMPARE(column(2, "PRCEST", "T2").toString(), QStringLiteral("E"));
        QCOMPARE(column(2, "ARTORG", "T2").toString(), QStringLiteral("XX"));
    }

    // An OK record saves straight away with the real suffix check; its specific duty is written,
    // a blank Maria description keeps the stored one, a one-digit unit is not compared with "07",
    // and a position with commas is stored with points.
    void savesOkRecordWithSpecificDuty_data() { savesCorrectedRecord_data(); }
    void savesOkRecordWithSpecificDuty()
    {
        QFETCH(bool, comma);
        setLocale(comma);
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0001"));
        box(*w, "txtPRCSCA")->setText("3" + dec() + "5");
        box(*w, "txtARTDSCMARIA")->setText(QStringLiteral("   "));
        box(*w, "txtPRCDUN")->setText(QStringLiteral("7"));
        box(*w, "txtPRCECA")->setText("1" + dec() + "75");
        QTest::keyClick(box(*w, "txtPRCDUN"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QVERIFY(fake.calls.isEmpty());
        QCOMPARE(column(1, "PRCNCM").toString(), QStringLiteral("8467.21.00.100A"));
        QCOMPARE(column(1, "PRCLAP").toString(), QStringLiteral("S"));
        QCOMPARE(column(1, "PRCEUN").toString(), QStringLiteral("07"));
        QCOMPARE(column(1, "PRCDUN").toString(), QStringLiteral("7"));
        QCOMPARE(column(1, "PRCECA").toDouble(), 1.75);
        QCOMPARE(column(1, "PRCSUN").toString(), QStringLiteral("08"));
        QCOMPARE(column(1, "PRCSCA").toDouble(), 3.5);
        QCOMPARE(column(1, "DESCRIPCION_MARIA").toString(), QStringLiteral("TALADRO PERCUTOR"));
        QCOMPARE(column(1, "ARTORG").toString(), QStringLiteral("310"));
        QCOMPARE(column(1, "PRCEST").toString(), QStringLiteral("M"));
        QCOMPARE(shared().sRetorno, QStringLiteral("OK"));
    }

    // With no country chosen the stored origin stays; an empty statistical quantity is Null.
    void noCountryKeepsOrigin()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0002"));
        pressEnterOn(*w, QStringLiteral("8252.00.00.000B"));
        box(*w, "txtPRCDUN")->setText(QStringLiteral("01"));
        box(*w, "txtPRCECA")->setText(QString());
        QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QVERIFY(!shared().gestor->Sql.contains(QLatin1String("ARTORG")));
        QCOMPARE(column(2, "ARTORG").toString(), QStringLiteral("XX"));
        QVERIFY(column(2, "PRCECA").isNull());
        QCOMPARE(column(2, "PRCEST").toString(), QStringLiteral("M"));
    }

    // The statistical unit belongs to the position it came from: a position typed after that must be
    // processed again before it can be saved.
    void positionChangedAfterProcessingNeedsEnter()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0001"));
        box(*w, "txtPRCNCM")->setText(QStringLiteral("8252.00.00.000B"));
        script.expectMessage(kFalta, Icon::Exclamation);
        QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        // Commas for points are the same position.
        box(*w, "txtPRCNCM")->setText(QStringLiteral("8467,21,00,100A"));
        QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QCOMPARE(column(1, "PRCEST").toString(), QStringLiteral("M"));
        QCOMPARE(column(1, "PRCNCM").toString(), QStringLiteral("8467.21.00.100A"));
    }

    void escapeLeavesWithoutSaving()
    {
        ScriptedInteraction script;
        shared().sRetorno = QStringLiteral("antes");
        auto w = open(QStringLiteral("0001"));
        box(*w, "txtPRCESM")->setText(QStringLiteral("5"));
        QTest::keyClick(box(*w, "txtARTDSCMARIA"), Qt::Key_Escape);
        VERIFY_SCRIPT(script);
        QCOMPARE(w->result(), int(QDialog::Rejected));
        QVERIFY(!w->isVisible());
        QCOMPARE(shared().sRetorno, QStringLiteral("antes"));
        QCOMPARE(column(1, "PRCESM").toString(), QStringLiteral("1"));
        QCOMPARE(column(1, "PRCEST").toString(), QStringLiteral("A"));
        // The loaded flag was cleared: showing it again loads the row afresh.
        w->show();
        QCOMPARE(text(*w, "txtPRCESM"), QStringLiteral("1"));
    }

    void rowGoneKeepsWindowOpen()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0001"));
        env->exec(QStringLiteral("delete from ART where INTNRO = 'T1' and ARTORD = 1"));
        QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_F11);
        VERIFY_SCRIPT(script);
        QVERIFY(w->isVisible());
        QCOMPARE(shared().sRetorno, QString());
        QCOMPARE(w->tag(), QStringLiteral("0001"));
    }

    void failuresReport()
    {
        {
            // Saving: a statistical quantity that is no number.
            ScriptedInteraction script;
            auto w = open(QStringLiteral("0001"));
            box(*w, "txtPRCDUN")->setText(QStringLiteral("01"));
            box(*w, "txtPRCECA")->setText(QStringLiteral("abc"));
            script.expectMessage(
                QStringLiteral(
                    "No coinciden los tipos\r\n\r\n13 - seccion [Planexo.frmModificar_GrabarDatos]"),
                Icon::Critical);
            QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_F11);
            VERIFY_SCRIPT(script);
            QVERIFY(w->isVisible());
            QCOMPARE(column(1, "PRCEST").toString(), QStringLiteral("A"));
            QCOMPARE(shared().sRetorno, QString());
        }
        {
            // Validation: the suffix check cannot read the nomenclator.
            ScriptedInteraction script;
            auto w = open(QStringLiteral("0001"));
            env->execCalvera(QStringLiteral("NCM"), QStringLiteral("drop table sufidos"));
            script.expectMessage(
                TestEnv::missingTable(QStringLiteral("NCM"), QStringLiteral("sufidos")) +
                    QStringLiteral("\r\n\r\n%1 - seccion [Planexo.frmModificar_VerificarDatos]")
                        .arg(TestEnv::calveraErrorNumber(1)),
                Icon::Critical);
            QTest::keyClick(box(*w, "txtPRCNCM"), Qt::Key_F11);
            VERIFY_SCRIPT(script);
            QCOMPARE(column(1, "PRCEST").toString(), QStringLiteral("A"));
        }
        {
            // Processing the position: number first, the pointer back to normal.
            ScriptedInteraction script;
            auto w = open(QStringLiteral("0002"));
            env->execCalvera(QStringLiteral("NCM"), QStringLiteral("drop table ncm"));
            script.expectMessage(QStringLiteral("%1 - ").arg(TestEnv::calveraErrorNumber(1)) +
                                     TestEnv::missingTable(QStringLiteral("NCM"), QStringLiteral("NCM")) +
                                     QStringLiteral("\r\n\r\nSección [Velmora.frmModificar.ProcesarNCM]"),
                                 Icon::Critical);
            pressEnterOn(*w, QStringLiteral("8252.00.00.000B"));
            VERIFY_SCRIPT(script);
            QCOMPARE(script.busyDepth(), 0);
            QCOMPARE(tagOf(*w, "txtPRCNCM"), QString());
        }
        {
            // Loading: the fields read before the failure stay.
            ScriptedInteraction script;
            env->exec(QStringLiteral("drop table PAIS"));
            script.expectMessage(
                QStringLiteral("no such table: pais\r\n\r\n1 - seccion [Planexo.frmModificar.CargarDatos]"),
                Icon::Critical);
            auto w = open(QStringLiteral("0001"));
            VERIFY_SCRIPT(script);
            QCOMPARE(text(*w, "txtARTNRO"), QStringLiteral("HM-01"));
            // The row order is a number.
            script.expectMessage(
                QStringLiteral(
                    "No coinciden los tipos\r\n\r\n13 - seccion [Planexo.frmModificar.CargarDatos]"),
                Icon::Critical);
            auto bad = open(QStringLiteral("x"));
            VERIFY_SCRIPT(script);
        }
    }

    // F6 hands the position box to the lookup, which writes the chosen position into it; Enter then
    // processes it.
    void f6OpensPositionLookup()
    {
        ScriptedInteraction script;
        auto w = open(QStringLiteral("0002"));
        QLineEdit *ncm = box(*w, "txtPRCNCM");
        script.expectModal(QStringLiteral("FrmPosicion"), [&](QDialog &d) {
            if (!qobject_cast<FrmPosicion *>(&d) || d.parentWidget() != w.get()) return -1;
            ncm->setText(QStringLiteral("8205.20.00.000K"));
            return int(QDialog::Accepted);
        });
        QTest::keyClick(ncm, Qt::Key_F6);
        VERIFY_SCRIPT(script);
        QCOMPARE(ncm->text(), QStringLiteral("8205.20.00.000K"));
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QString());
        QTest::keyClick(ncm, Qt::Key_Return);
        QCOMPARE(tagOf(*w, "txtPRCNCM"), QStringLiteral("07"));
        QCOMPARE(fake.calls, QStringList{QStringLiteral("8205.20.00.000K||1|ZP-2")});
    }

    // The step-3 list of errors opens the editor for the selected row; a save refills the list, the
    // corrected row leaving it; Escape does not refill.
    void handOverFromRecordList()
    {
        ScriptedInteraction script;
        ResultsPanel panel;
        child<QPushButton>(panel, "FRAM3_cmdRegErr")->click();
        frmDEP *list = panel.recordList();
        QVERIFY(list);
        QTreeWidget *rows = list->list();
        QCOMPARE(rows->topLevelItemCount(), 2);
        rows->setCurrentItem(rows->topLevelItem(1));
        QCOMPARE(rows->currentItem()->text(frmDEP::colOrden), QStringLiteral("0002"));

        script.expectModal(QStringLiteral("frmModificar"), [&](QDialog &d) {
            auto &editor = dynamic_cast<frmModificar &>(d);
            if (editor.tag() != QStringLiteral("0002") || d.parentWidget() != list) return -1;
            editor.verificarSufijos = fake.verifier();
            d.show();
            pressEnterOn(editor, QStringLiteral("8252.00.00.000B"));
            QTest::keyClick(box(d, "txtPRCNCM"), Qt::Key_F11);
            return d.result();
        });
        QTest::keyClick(rows, Qt::Key_Return);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().sRetorno, QStringLiteral("OK"));
        QCOMPARE(rows->topLevelItemCount(), 1);
        QCOMPARE(rows->topLevelItem(0)->text(frmDEP::colOrden), QStringLiteral("0003"));
        QCOMPARE(column(2, "PRCCRC").toString(), QStringLiteral("OK"));

        // Leaving with Escape: no refill, so a change made meanwhile does not show.
        env->exec(
            QStringLiteral("update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'T1' and ARTORD = 3"));
        script.expectModal(QStringLiteral("frmModificar"), [&](QDialog &d) {
            d.show();
            if (text(d, "txtARTNRO") != QStringLiteral("N'3")) return -1;
            QTest::keyClick(box(d, "txtPRCNCM"), Qt::Key_Escape);
            return d.result();
        });
        QTest::keyClick(rows, Qt::Key_Return);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().sRetorno, QString());
        QCOMPARE(rows->topLevelItemCount(), 1);
        list->close();
    }
};

QTEST_MAIN(TestEditor)
#include "test_editor.moc"
