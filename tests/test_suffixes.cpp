// The position lookup window, the suffix verification with its chooser, and the cleaning of what the
// operator types, against the demo nomenclator.
#include "shared/SharedState.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "ui/review/FrmCargaSufijos.h"
#include "ui/review/FrmPosicion.h"
#include "review/SuffixVerification.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <memory>

using Icon = Interaction::Icon;
using Buttons = Interaction::Buttons;
using Answer = Interaction::Answer;

namespace {

const QString kHammer = QStringLiteral("8205.20.00.000K"); // AA, AB (chapter 82), JD01..JD03 (heading)
const QString kDrill = QStringLiteral("8467.21.00.100A");  // AA, AB (chapter 84), ZA numeric (subheading)
const QString kShoe = QStringLiteral("6403.99.90.000X");   // AA, AB (chapter 64), AI (subheading)
const QString kMeter = QStringLiteral("9030.31.00.000H");  // no suffixes

const QString kBrand = QStringLiteral("MARCA   (AA)");
const QString kModel = QStringLiteral("MODELO   (AB)");
const QString kWatts = QStringLiteral("POTENCIA EN WATTS   (ZA)");
const QString kCancel = QStringLiteral("Desea cancelar la operación");
const QString kNotNumeric = QStringLiteral("Debe Ingresar un Valor Númerico");

QString title(const QString &code)
{
    return QStringLiteral("Ingrese Valor (") + code + QLatin1Char(')');
}

// The scripted interaction that also notes whether the hourglass was up while a prompt was shown.
class Script : public ScriptedInteraction {
  public:
    Answer message(const QString &text, Icon icon, Buttons buttons, const QString &t) override
    {
        note();
        const Answer answer = ScriptedInteraction::message(text, icon, buttons, t);
        // Off script, "cancel?" is answered yes so that a failing test ends instead of asking forever.
        if (!failures() && buttons == Buttons::YesNo) return answer;
        return buttons == Buttons::YesNo ? Answer::Yes : answer;
    }
    std::optional<QString> input(const QString &prompt, const QString &t, const QString &proposed) override
    {
        note();
        return ScriptedInteraction::input(prompt, t, proposed);
    }
    int runModal(QDialog &dialog) override
    {
        note();
        return ScriptedInteraction::runModal(dialog);
    }
    int promptsUnderHourglass = 0;

  private:
    // Whether a prompt went off script (lines of the report before the log, other than prompts still
    // expected).
    bool failures() const
    {
        for (const QString &line : report().split(QLatin1Char('\n'))) {
            if (line == QLatin1String("prompts shown:")) break;
            if (!line.contains(QLatin1String("never shown"))) return true;
        }
        return false;
    }
    void note()
    {
        if (busyDepth() != 0) ++promptsUnderHourglass;
    }
};

#define VERIFY_PROMPTS(script)                                                                               \
    do {                                                                                                     \
        VERIFY_SCRIPT(script);                                                                               \
        QCOMPARE((script).promptsUnderHourglass, 0);                                                         \
        QCOMPARE((script).busyDepth(), 0);                                                                   \
    } while (0)

struct Chooser {
    QStringList lines;     // the lines as filled
    QString preselected;   // the selected line before the window was shown
    QString shownSelected; // the selected line once shown (activation)
};

QString selectedText(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

// Drives the chooser: notes what it shows, selects the line beginning with `pick` (or keeps the
// selection when `pick` is empty) and presses Enter in the list.
ScriptedInteraction::ModalDriver choose(const QString &pick, Chooser *seen = nullptr)
{
    return [pick, seen](QDialog &d) {
        auto *list = d.findChild<QListWidget *>(QStringLiteral("LstOpcion"));
        if (!list) return -1;
        Chooser c;
        for (int i = 0; i < list->count(); ++i)
            c.lines << list->item(i)->text();
        c.preselected = selectedText(list);
        d.show();
        c.shownSelected = selectedText(list);
        if (!pick.isEmpty()) {
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->text().startsWith(pick)) list->setCurrentRow(i);
        }
        QTest::keyClick(list, Qt::Key_Return);
        if (seen) *seen = c;
        return d.result();
    };
}

const QStringList kHandleLines = {
    QStringLiteral("JD00 - Ninguna opción"), QStringLiteral("JD01 - MANGO DE MADERA"),
    QStringLiteral("JD02 - MANGO DE MATERIAL PLASTICO"), QStringLiteral("JD03 - MANGO METALICO")};

// The error a failing statement on the nomenclator raises, as the program would meet it.
PlanexoError nomenclatorError(const QString &statement)
{
    DataConnection &db = shared().enlace->getDataConnectionByEntity(QStringLiteral("NCM"));
    db.Sql = statement;
    Recordset rs;
    try {
        db.CrearRs(rs);
    } catch (const PlanexoError &e) {
        return e;
    }
    return PlanexoError(0, QStringLiteral("no error"));
}

template <typename T> T *child(const QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c) qFatal("no control %s", name);
    return c;
}

QStringList lines(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class TestSuffixes : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

  private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        QVERIFY(env->isValid());
        env->connect();
        shared().AA_MARCA = QStringLiteral("STANLEY");
        TestEnv::usePoint();
    }
    void cleanup()
    {
        env.reset();
        QLocale::setDefault(QLocale::c());
    }

    // ---- cleaning -------------------------------------------------------------------------------

    void charactersKeptOrBlanked()
    {
        for (const QChar c : QStringLiteral("AZMQ0159Ñ&,/*[]"))
            QCOMPARE(m_sVALCHAR(c), c);
        // Lower case, accents, the euro (a Windows-1252 character), punctuation, a Greek letter.
        for (const QChar c : QStringLiteral("azñÉé€'\"-()._.;:+%$#@!?<>{}\\|~` \tΩ\u00A0"))
            QCOMPARE(m_sVALCHAR(c), QChar(u' '));
    }

    void cleaningText()
    {
        QCOMPARE(m_sVALCADENA(QStringLiteral("  abc-d'e  ")), QStringLiteral("ABC D E"));
        QCOMPARE(m_sVALCADENA(QStringLiteral("caño")), QStringLiteral("CAÑO"));
        // Characters that become blanks at the ends stay: no trimming afterwards.
        QCOMPARE(m_sVALCADENA(QStringLiteral("'abc.")), QStringLiteral(" ABC "));
        // Only blanks are trimmed, as VB's Trim: a tab stays and becomes a blank.
        QCOMPARE(m_sVALCADENA(QStringLiteral("\tx1 ")), QStringLiteral(" X1"));
        // A letter whose upper case is two letters stays one character.
        QCOMPARE(m_sVALCADENA(QStringLiteral("straße")), QStringLiteral("STRA E"));
        // At most 40 characters, counted after trimming.
        const QString fifty = QStringLiteral("  ") + QString(50, QLatin1Char('k'));
        QCOMPARE(m_sVALCADENA(fifty), QString(40, QLatin1Char('K')));
        QCOMPARE(m_sVALCADENA(QString()), QString());
    }

    void positionLevels()
    {
        QCOMPARE(positionLevelList(QStringLiteral("8252.00.00.000B")),
                 QStringLiteral("('82  .  .  .   ','8252.  .  .   ','8252.00.  .   ','8252.00.00.000')"));
        // A typed quote cannot break the statement.
        QCOMPARE(positionLevelList(QStringLiteral("8'")),
                 QStringLiteral("('8''  .  .  .   ','8''.  .  .   ','8''.  .   ','8''')"));
    }

    // ---- verification: positions and proposals ----------------------------------------------------

    void positionWithoutSuffixes()
    {
        Script script;
        script.expectMessage(QStringLiteral("No se encontro Sufijo en el nomenclador"), Icon::None);
        QString previous = QStringLiteral("AA(X)-");
        QString article = QStringLiteral("A-1");
        QCOMPARE(VerificarSufijos(kMeter, previous, 1, article), QStringLiteral("SIN SUFIJOS"));
        VERIFY_PROMPTS(script);
        QVERIFY(script.busyCalls() > 0);
        QCOMPARE(previous, QStringLiteral("AA(X)-"));
    }

    void newArticleProposesBrandAndArticle()
    {
        Script script;
        Chooser seen;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("stanley"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("MT 16 X "),
                           QStringLiteral("MT 16 X "));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QStringLiteral("JD02"), &seen));
        QString previous;
        QString article = QStringLiteral("MT-16(X)");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article),
                 QStringLiteral("AA(STANLEY)-AB(MT 16 X)-JD02-"));
        VERIFY_PROMPTS(script);
        QCOMPARE(seen.lines, kHandleLines);
        QCOMPARE(seen.preselected, kHandleLines.first());
        QCOMPARE(shared().sChooserSelection, kHandleLines[2]);
        QCOMPARE(previous, QString());
    }

    void articleCodeCleanedForModel_data()
    {
        QTest::addColumn<QString>("position");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("AB") << kHammer << QStringLiteral("AB") << kModel;
        QTest::newRow("AI") << kShoe << QStringLiteral("AI") << QStringLiteral("TALLE   (AI)");
    }
    void articleCodeCleanedForModel()
    {
        QFETCH(QString, position);
        QFETCH(QString, code);
        QFETCH(QString, prompt);
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("STANLEY"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("T 100 B "),
                           QStringLiteral("M1"));
        if (code == QLatin1String("AI"))
            script.expectInput(prompt, title(code), QStringLiteral("T 100 B "), QStringLiteral("42"));
        else
            script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QString()));
        QString previous;
        QString article = QStringLiteral("T-100(B)");
        const QString result = VerificarSufijos(position, previous, 1, article);
        VERIFY_PROMPTS(script);
        QCOMPARE(result, code == QLatin1String("AI") ? QStringLiteral("AA(STANLEY)-AB(M1)-AI(42)-")
                                                     : QStringLiteral("AA(STANLEY)-AB(M1)-JD00-"));
        // Without a previous text the article code itself is left as it came.
        QCOMPARE(article, QStringLiteral("T-100(B)"));
    }

    void noDefaultBrand()
    {
        shared().AA_MARCA.clear();
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QString(), QStringLiteral("BOSCH"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("X"), QStringLiteral("X"));
        script.expectInput(kWatts, title(QStringLiteral("ZA")), QString(), QStringLiteral("750"));
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kDrill, previous, 1, article),
                 QStringLiteral("AA(BOSCH)-AB(X)-ZA(000750)-"));
        VERIFY_PROMPTS(script);
    }

    void previousValuesProposedAndKept()
    {
        Script script;
        Chooser seen;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("BOSCH"),
                           QStringLiteral("BOSCH"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("X1"), QStringLiteral("X1"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QString(), &seen));
        QString previous = QStringLiteral("AA(BOSCH)-AB(X1)-JD03-");
        QString article = QStringLiteral("ART-9");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article), QStringLiteral("AA(BOSCH)-AB(X1)-JD03-"));
        VERIFY_PROMPTS(script);
        QCOMPARE(seen.preselected, kHandleLines[3]);
        QCOMPARE(seen.shownSelected, kHandleLines[3]);
        QCOMPARE(article, QStringLiteral("ART-9"));
    }

    void previousValueCleanedWhenAccepted()
    {
        // A stored value written by other means: accepting it unchanged still cleans it.
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("Black & decker's"),
                           QStringLiteral("Black & decker's"));
        // An empty stored value counts as none: the article code is proposed.
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("A"), QStringLiteral("Z9"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QString()));
        QString previous = QStringLiteral("AA(Black & decker's)-AB()-JD01-");
        QString article = QStringLiteral("A");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article),
                 QStringLiteral("AA(BLACK & DECKER S)-AB(Z9)-JD01-"));
        VERIFY_PROMPTS(script);
    }

    void missingValueProposesCleanedArticle()
    {
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("BOSCH"),
                           QStringLiteral("BOSCH"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("T 100 B "),
                           QStringLiteral("T 100 B "));
        script.expectInput(kWatts, title(QStringLiteral("ZA")), QStringLiteral("T 100 B "),
                           QStringLiteral("1200"));
        QString previous = QStringLiteral("AA(BOSCH)");
        QString article = QStringLiteral("T-100(B)");
        QCOMPARE(VerificarSufijos(kDrill, previous, 1, article),
                 QStringLiteral("AA(BOSCH)-AB(T 100 B)-ZA(001200)-"));
        VERIFY_PROMPTS(script);
        // The article code was cleaned in place for the proposal.
        QCOMPARE(article, QStringLiteral("T 100 B "));
        QCOMPARE(previous, QStringLiteral("AA(BOSCH)"));
    }

    void unclosedValueProposesNothing()
    {
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("FOO"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("X"), QStringLiteral("X"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QString()));
        // "AA(" without ")": nothing proposed, so the default brand is.
        QString previous = QStringLiteral("AA(BOSCH");
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article), QStringLiteral("AA(FOO)-AB(X)-JD00-"));
        VERIFY_PROMPTS(script);
    }

    // ---- verification: answers --------------------------------------------------------------------

    void numericAnswers_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("refusals");
        QTest::newRow("two digits") << false << QStringList{QStringLiteral("12")} << QStringLiteral("000012")
                                    << 0;
        QTest::newRow("seven digits")
            << false << QStringList{QStringLiteral("1234567")} << QStringLiteral("123456") << 0;
        QTest::newRow("blanks around")
            << false << QStringList{QStringLiteral("  7  ")} << QStringLiteral("000007") << 0;
        QTest::newRow("letters, then digits")
            << false << QStringList{QStringLiteral("12a"), QStringLiteral("abc"), QStringLiteral("5")}
            << QStringLiteral("000005") << 2;
        QTest::newRow("point decimal in point locale refused")
            << false << QStringList{QStringLiteral("12.5"), QStringLiteral("3")} << QStringLiteral("000003")
            << 1;
        QTest::newRow("comma decimal in comma locale rounds")
            << true << QStringList{QStringLiteral("12,5")} << QStringLiteral("000013") << 0;
        QTest::newRow("group separators")
            << false << QStringList{QStringLiteral("1,234,567")} << QStringLiteral("001234") << 0;
        QTest::newRow("cut number that is none")
            << true << QStringList{QStringLiteral("123,5E2"), QStringLiteral("12,5E2")}
            << QStringLiteral("001250") << 1;
        QTest::newRow("dash taken as blank")
            << true << QStringList{QStringLiteral("-8")} << QStringLiteral("000008") << 0;
    }
    void numericAnswers()
    {
        QFETCH(bool, comma);
        QFETCH(QStringList, answers);
        QFETCH(QString, stored);
        QFETCH(int, refusals);
        if (comma) TestEnv::useComma();
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("BOSCH"),
                           QStringLiteral("BOSCH"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("GSB"), QStringLiteral("GSB"));
        for (int i = 0; i < answers.size(); ++i) {
            script.expectInput(kWatts, title(QStringLiteral("ZA")), QString(), answers[i]);
            if (i + 1 < answers.size()) script.expectMessage(kNotNumeric, Icon::None);
        }
        QCOMPARE(answers.size() - 1, refusals);
        QString previous = QStringLiteral("AA(BOSCH)-AB(GSB)-ZA()-");
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kDrill, previous, 1, article),
                 QStringLiteral("AA(BOSCH)-AB(GSB)-ZA(") + stored + QStringLiteral(")-"));
        VERIFY_PROMPTS(script);
    }

    void alphanumericAnswers()
    {
        Script script;
        // Blanks only, and characters that all turn into blanks, are asked again without a message.
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("   "));
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("'-()"));
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("o'neil-co"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("X"), QStringLiteral("x(1)"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QString()));
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article),
                 QStringLiteral("AA(O NEIL CO)-AB(X 1)-JD00-"));
        VERIFY_PROMPTS(script);
    }

    void emptyAnswerCancels_data()
    {
        QTest::addColumn<bool>("cancelled"); // nullopt (Cancel) or an empty text
        QTest::newRow("cancel button") << true;
        QTest::newRow("empty answer") << false;
    }
    void emptyAnswerCancels()
    {
        QFETCH(bool, cancelled);
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("S"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("X"),
                           cancelled ? std::nullopt : std::optional<QString>(QString()));
        script.expectMessage(kCancel, Icon::Question, Buttons::YesNo, Answer::Yes);
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article), QString());
        VERIFY_PROMPTS(script);
    }

    void emptyAnswerNotCancelled()
    {
        Script script;
        // Alphanumeric: No goes on with the empty answer, which is asked again silently.
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("BOSCH"), std::nullopt);
        script.expectMessage(kCancel, Icon::Question, Buttons::YesNo, Answer::No);
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("BOSCH"),
                           QStringLiteral("BOSCH"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("M"), QStringLiteral("M"));
        // Numeric: the empty answer is not a number.
        script.expectInput(kWatts, title(QStringLiteral("ZA")), QStringLiteral("X"), QString());
        script.expectMessage(kCancel, Icon::Question, Buttons::YesNo, Answer::No);
        script.expectMessage(kNotNumeric, Icon::None);
        script.expectInput(kWatts, title(QStringLiteral("ZA")), QStringLiteral("X"), QStringLiteral("9"));
        QString previous = QStringLiteral("AA(BOSCH)-AB(M)-");
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kDrill, previous, 1, article),
                 QStringLiteral("AA(BOSCH)-AB(M)-ZA(000009)-"));
        VERIFY_PROMPTS(script);
    }

    // ---- verification: option codes --------------------------------------------------------------

    void currentOption_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("preselected");
        QTest::addColumn<QString>("result");
        QTest::newRow("inside") << QStringLiteral("JD02-AA(B)-AB(M)-") << kHandleLines[2]
                                << QStringLiteral("AA(B)-AB(M)-JD02-");
        QTest::newRow("last without dash")
            << QStringLiteral("AA(B)-AB(M)-JD02") << kHandleLines[2] << QStringLiteral("AA(B)-AB(M)-JD02-");
        // No current option: the search for an empty text selects the first line.
        QTest::newRow("last, not the last four")
            << QStringLiteral("AA(B)-AB(M)-JD021") << kHandleLines[0] << QStringLiteral("AA(B)-AB(M)-JD00-");
        QTest::newRow("not among the lines")
            << QStringLiteral("AA(B)-AB(M)-JD09-") << QString() << QStringLiteral("AA(B)-AB(M)-JD00-");
        QTest::newRow("no option element")
            << QStringLiteral("AA(B)-AB(M)-") << kHandleLines[0] << QStringLiteral("AA(B)-AB(M)-JD00-");
    }
    void currentOption()
    {
        QFETCH(QString, previous);
        QFETCH(QString, preselected);
        QFETCH(QString, result);
        Script script;
        Chooser seen;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("B"), QStringLiteral("B"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("M"), QStringLiteral("M"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QString(), &seen));
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article), result);
        VERIFY_PROMPTS(script);
        QCOMPARE(seen.preselected, preselected);
        // With nothing preselected, the chooser's activation selects the first line.
        QCOMPARE(seen.shownSelected, preselected.isEmpty() ? kHandleLines[0] : preselected);
    }

    void chooserClosedWithoutChoice()
    {
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("S"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("X"), QStringLiteral("M"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), [](QDialog &d) {
            d.show();
            // Escape is no closing key of the chooser; the close box is.
            QTest::keyClick(d.findChild<QListWidget *>(QStringLiteral("LstOpcion")), Qt::Key_Escape);
            if (!d.isVisible()) return -1;
            d.close();
            return d.result();
        });
        script.expectMessage(QStringLiteral("Error en generar sufijos"), Icon::None);
        shared().sChooserSelection = QStringLiteral("JD01 - stale answer");
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article), QString());
        VERIFY_PROMPTS(script);
        QCOMPARE(shared().sChooserSelection, QString());
    }

    void chooserDoubleClick()
    {
        Script script;
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("S"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("X"), QStringLiteral("M"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), [](QDialog &d) {
            d.show();
            auto *list = d.findChild<QListWidget *>(QStringLiteral("LstOpcion"));
            const QRect r = list->visualItemRect(list->item(3));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
            return d.result();
        });
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article), QStringLiteral("AA(S)-AB(M)-JD03-"));
        VERIFY_PROMPTS(script);
    }

    void chooserOnItsOwn()
    {
        shared().sChooserSelection.clear();
        FrmCargaSufijos chooser;
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Carga de Sufijos"));
        QCOMPARE(child<QWidget>(chooser, "FrmList")->property("title").toString(),
                 QStringLiteral("Selecione una Opción"));
        chooser.CargarOpciones({QStringLiteral("A"), QStringLiteral("B")});
        chooser.show();
        QCOMPARE(selectedText(chooser.list()), QStringLiteral("A"));
        // A reload replaces the lines; an empty list selects nothing and Enter hands back nothing.
        chooser.CargarOpciones({});
        chooser.Form_Activate();
        QCOMPARE(chooser.list()->count(), 0);
        QTest::keyClick(chooser.list(), Qt::Key_Return);
        QVERIFY(!chooser.isVisible());
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(shared().sChooserSelection, QString());
    }

    // ---- verification: comparison, odd codes, failures --------------------------------------------

    void comparisonWithoutDifference_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("result");
        QTest::newRow("complete") << QStringLiteral("AA(X)-AB(Y)-JD01")
                                  << QStringLiteral("AA(X)-AB(Y)-JD01-");
        QTest::newRow("already ending")
            << QStringLiteral("AA(X)-AB(Y)-JD01-") << QStringLiteral("AA(X)-AB(Y)-JD01-");
        QTest::newRow("letter case ignored")
            << QStringLiteral("aa(x)-ab(y)-jd01-") << QStringLiteral("aa(x)-ab(y)-jd01-");
        // Only the code of an option is looked for, not whether the option exists.
        QTest::newRow("unknown option")
            << QStringLiteral("AA(X)-AB(Y)-JD77") << QStringLiteral("AA(X)-AB(Y)-JD77-");
    }
    void comparisonWithoutDifference()
    {
        QFETCH(QString, previous);
        QFETCH(QString, result);
        Script script;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 0, article), result);
        QCOMPARE(previous, result);
        VERIFY_PROMPTS(script);
    }

    void comparisonWithDifference()
    {
        Script script;
        script.expectMessage(
            QStringLiteral("Se encontro diferencias entre los Sufijos de Subitem y el nomenclador."),
            Icon::Exclamation);
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("X"), QStringLiteral("X"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("ART 1"), QStringLiteral("Y"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QString()));
        QString previous = QStringLiteral("AA(X)-JD01");
        QString article = QStringLiteral("ART-1");
        QCOMPARE(VerificarSufijos(kHammer, previous, 2, article), QStringLiteral("AA(X)-AB(Y)-JD01-"));
        VERIFY_PROMPTS(script);
        QCOMPARE(previous, QStringLiteral("AA(X)-JD01"));

        // An empty previous text is rebuilt without comparing.
        script.clear();
        script.expectInput(kBrand, title(QStringLiteral("AA")), QStringLiteral("STANLEY"),
                           QStringLiteral("X"));
        script.expectInput(kModel, title(QStringLiteral("AB")), QStringLiteral("ART 1"), QStringLiteral("Y"));
        script.expectModal(QStringLiteral("FrmCargaSufijos"), choose(QStringLiteral("JD03")));
        previous.clear();
        QCOMPARE(VerificarSufijos(kHammer, previous, 0, article), QStringLiteral("AA(X)-AB(Y)-JD03-"));
        VERIFY_PROMPTS(script);
    }

    void codeWithoutKindKeepsPrevious()
    {
        env->execCalvera(QStringLiteral("NCM"),
                         QStringLiteral("insert into sufidos (sim, sufijo, detalle) values "
                                        "('90  .  .  .   ','ZC','VOLTAJE'),"
                                        "('9030.31.00.000','BX','COLOR')"));
        Script script;
        const QString color = QStringLiteral("COLOR   (BX)");
        script.expectInput(QStringLiteral("VOLTAJE   (ZC)"), title(QStringLiteral("ZC")), QString(),
                           QStringLiteral("220"));
        // BX follows ZC: numeric.
        script.expectInput(color, title(QStringLiteral("BX")), QString(), QStringLiteral("ROJO"));
        script.expectMessage(kNotNumeric, Icon::None);
        script.expectInput(color, title(QStringLiteral("BX")), QString(), QStringLiteral("3"));
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kMeter, previous, 1, article), QStringLiteral("ZC(000220)-BX(000003)-"));
        VERIFY_PROMPTS(script);
    }

    void codeWithoutKindAlone()
    {
        env->execCalvera(
            QStringLiteral("NCM"),
            QStringLiteral(
                "insert into sufidos (sim, sufijo, detalle) values ('9030.31.00.000','BX','COLOR')"));
        Script script;
        const QString color = QStringLiteral("COLOR   (BX)");
        // No kind at all: every answer is asked again, until the operator cancels.
        script.expectInput(color, title(QStringLiteral("BX")), QString(), QStringLiteral("ROJO"));
        script.expectInput(color, title(QStringLiteral("BX")), QString(), QStringLiteral("12"));
        script.expectInput(color, title(QStringLiteral("BX")), QString(), std::nullopt);
        script.expectMessage(kCancel, Icon::Question, Buttons::YesNo, Answer::Yes);
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kMeter, previous, 1, article), QString());
        VERIFY_PROMPTS(script);
    }

    void codesOfOtherLengthsOnly()
    {
        env->execCalvera(QStringLiteral("NCM"),
                         QStringLiteral("insert into sufidos (sim, sufijo, detalle) values "
                                        "('90  .  .  .   ','XYZ','RARO'),"
                                        "('9030.  .  .   ','Q','CORTO')"));
        Script script;
        QString previous = QStringLiteral("AA(OLD)-");
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kMeter, previous, 1, article), QStringLiteral("-"));
        VERIFY_PROMPTS(script);
        // Such codes are not compared either: nothing is missing.
        QCOMPARE(VerificarSufijos(kMeter, previous, 0, article), QStringLiteral("AA(OLD)-"));
    }

    void unexpectedError()
    {
        env->execCalvera(QStringLiteral("NCM"), QStringLiteral("drop table sufidos"));
        const PlanexoError expected = nomenclatorError(QStringLiteral("select * from sufidos"));
        QVERIFY(expected.number() != 0);
        Script script;
        script.expectMessage(QString::number(expected.number()) + QStringLiteral(" - ") +
                                 expected.description() +
                                 QStringLiteral("\r\n\r\nSeccion [Torvisca.frmModificar.VarificarSufijos]"),
                             Icon::Critical);
        QString previous = QStringLiteral("AA(X)-");
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(kHammer, previous, 1, article), QString());
        VERIFY_PROMPTS(script);
    }

    void quoteInPositionIsSafe()
    {
        Script script;
        script.expectMessage(QStringLiteral("No se encontro Sufijo en el nomenclador"), Icon::None);
        QString previous;
        QString article = QStringLiteral("X");
        QCOMPARE(VerificarSufijos(QStringLiteral("99'5.00.00.000B"), previous, 1, article),
                 QStringLiteral("SIN SUFIJOS"));
        VERIFY_PROMPTS(script);
    }

    // ---- position lookup --------------------------------------------------------------------------

    void lookupOpens()
    {
        QLineEdit editor(QStringLiteral("8252.00.00.000B"));
        FrmPosicion form(&editor);
        QCOMPARE(form.windowTitle(), QStringLiteral("Buscar Posición"));
        auto *search = child<QLineEdit>(form, "TxtNCMF");
        QCOMPARE(search->text(), QStringLiteral("8252.00.00"));
        QCOMPARE(search->maxLength(), 10);
        auto *description = child<QPlainTextEdit>(form, "LbDescripcion");
        QVERIFY(description->isReadOnly());
        QCOMPARE(description->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        // The subheading of the editor's position matches only its own positions.
        env->execCalvera(QStringLiteral("NCM"),
                         QStringLiteral("insert into ncm ([001],[002],[003],[010]) values "
                                        "('8252.90.00','000','Q','OTRAS')"));
        Script script;
        form.show();
        QCOMPARE(form.focusWidget(), search);
        QTest::keyClick(search, Qt::Key_Return);
        VERIFY_PROMPTS(script);
        QCOMPARE(lines(child<QListWidget>(form, "LstNCM")), QStringList{QStringLiteral("8252.00.00.000B")});
    }

    void searchListsInOrder()
    {
        env->execCalvera(QStringLiteral("NCM"),
                         QStringLiteral("insert into ncm ([001],[002],[003],[010]) values "
                                        "('8252.00.00','900','F','OTRAS'),"
                                        "('8252.90.00','000','Q','LAS DEMAS'),"
                                        "('8252.00.00','100','C','ALGUNAS'),"
                                        "('8253.00.00','000','A','FUERA')"));
        QLineEdit editor;
        FrmPosicion form(&editor);
        form.show();
        auto *search = child<QLineEdit>(form, "TxtNCMF");
        auto *list = child<QListWidget>(form, "LstNCM");
        Script script;
        QTest::keyClicks(search, QStringLiteral("8252"));
        QTest::keyClick(search, Qt::Key_Return);
        VERIFY_PROMPTS(script);
        QVERIFY(script.busyCalls() > 0);
        QCOMPARE(lines(list),
                 (QStringList{QStringLiteral("8252.00.00.000B"), QStringLiteral("8252.00.00.100C"),
                              QStringLiteral("8252.00.00.900F"), QStringLiteral("8252.90.00.000Q")}));
        QCOMPARE(selectedText(list), QStringLiteral("8252.00.00.000B"));
        QCOMPARE(form.focusWidget(), list);
        // Selecting the first line does not show its details.
        QCOMPARE(child<QPlainTextEdit>(form, "LbDescripcion")->toPlainText(), QString());

        // Points match any run of characters.
        search->setText(QStringLiteral("84.1"));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(lines(list),
                 (QStringList{QStringLiteral("8467.21.00.100A"), QStringLiteral("8467.21.00.900R"),
                              QStringLiteral("8471.30.12.000G")}));
        VERIFY_PROMPTS(script);
    }

    void blankSearchDoesNothing()
    {
        QLineEdit editor(QStringLiteral("8467.21.00.100A"));
        FrmPosicion form(&editor);
        form.show();
        auto *search = child<QLineEdit>(form, "TxtNCMF");
        auto *list = child<QListWidget>(form, "LstNCM");
        Script script;
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(list->count(), 2);
        search->setText(QStringLiteral("   "));
        const int busy = script.busyCalls();
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(script.busyCalls(), busy);
        QCOMPARE(list->count(), 2);
        QCOMPARE(search->text(), QStringLiteral("   "));
        QVERIFY(form.isVisible());
        VERIFY_PROMPTS(script);
    }

    void detailsWithArrowKeys()
    {
        QLineEdit editor;
        FrmPosicion form(&editor);
        form.show();
        auto *search = child<QLineEdit>(form, "TxtNCMF");
        auto *list = child<QListWidget>(form, "LstNCM");
        auto *description = child<QPlainTextEdit>(form, "LbDescripcion");
        auto *suffixes = child<QListWidget>(form, "LstSufijos");
        Script script;
        search->setText(QStringLiteral("82"));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(list->item(1)->text(), QStringLiteral("8203.20.10.000R"));
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(selectedText(list), QStringLiteral("8203.20.10.000R"));
        QCOMPARE(description->toPlainText(), QStringLiteral("ALICATES DE CORTE\n\nHERRAMIENTAS DE MANO"));
        QCOMPARE(lines(suffixes), (QStringList{QStringLiteral("AA   MARCA"), QStringLiteral("AB   MODELO")}));

        // Down to the hammer: chapter and heading suffixes, four-character codes with one blank.
        while (selectedText(list) != kHammer && list->currentRow() < list->count() - 1)
            QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(selectedText(list), kHammer);
        QCOMPARE(description->toPlainText(), QStringLiteral("MARTILLOS Y MAZAS\n\nHERRAMIENTAS DE MANO"));
        QCOMPARE(lines(suffixes), (QStringList{QStringLiteral("AA   MARCA"), QStringLiteral("AB   MODELO"),
                                               QStringLiteral("JD01 MANGO DE MADERA"),
                                               QStringLiteral("JD02 MANGO DE MATERIAL PLASTICO"),
                                               QStringLiteral("JD03 MANGO METALICO")}));
        // Up shows the previous position; keys other than arrows show nothing new.
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(selectedText(list), QStringLiteral("8204.12.00.000G"));
        const QString wrench =
            QStringLiteral("LLAVES DE AJUSTE DE MANO, DE BOCA VARIABLE\n\nHERRAMIENTAS DE MANO");
        QCOMPARE(description->toPlainText(), wrench);
        // Keys other than the arrows show nothing new.
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(selectedText(list), QStringLiteral("8252.00.00.000B"));
        QCOMPARE(description->toPlainText(), wrench);
        VERIFY_PROMPTS(script);
    }

    void detailsOfPositionWithoutSuffixes()
    {
        QLineEdit editor(kMeter);
        FrmPosicion form(&editor);
        Script script;
        form.MostrarDatos(kMeter);
        QCOMPARE(child<QPlainTextEdit>(form, "LbDescripcion")->toPlainText(),
                 QStringLiteral("MULTIMETROS SIN DISPOSITIVO REGISTRADOR\n\nINSTRUMENTOS DE MEDIDA"));
        QCOMPARE(child<QListWidget>(form, "LstSufijos")->count(), 0);
        // A position that does not exist clears what was shown.
        form.MostrarDatos(kHammer);
        QVERIFY(child<QListWidget>(form, "LstSufijos")->count() > 0);
        form.MostrarDatos(QStringLiteral("0000.00.00.000A"));
        QCOMPARE(child<QPlainTextEdit>(form, "LbDescripcion")->toPlainText(), QString());
        QCOMPARE(child<QListWidget>(form, "LstSufijos")->count(), 0);
        // The second description may be empty (Null-free).
        form.MostrarDatos(QStringLiteral("3926.90.90.900W"));
        QCOMPARE(child<QPlainTextEdit>(form, "LbDescripcion")->toPlainText(),
                 QStringLiteral("LAS DEMAS MANUFACTURAS DE PLASTICO\n\n"));
        VERIFY_PROMPTS(script);
    }

    void enterCarriesPosition()
    {
        QLineEdit editor(QStringLiteral("8467"));
        FrmPosicion form(&editor);
        form.show();
        auto *list = child<QListWidget>(form, "LstNCM");
        Script script;
        QTest::keyClick(child<QLineEdit>(form, "TxtNCMF"), Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(editor.text(), QStringLiteral("8467.21.00.900R"));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
        VERIFY_PROMPTS(script);
    }

    void notFoundThenEnterCarriesEmptyText()
    {
        QLineEdit editor(QStringLiteral("1111.11.11.111X"));
        FrmPosicion form(&editor);
        form.show();
        auto *search = child<QLineEdit>(form, "TxtNCMF");
        auto *list = child<QListWidget>(form, "LstNCM");
        Script script;
        search->setText(QStringLiteral("8467"));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(list->count(), 2);
        script.expectMessage(QStringLiteral("Posición no encontrada."), Icon::Exclamation);
        search->setText(QStringLiteral("99'1"));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(list->count(), 0);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(editor.text(), QString());
        QVERIFY(!form.isVisible());
        VERIFY_PROMPTS(script);
    }

    void escapeAndCtrlCCarryNothing_data()
    {
        QTest::addColumn<bool>("ctrlC");
        QTest::addColumn<bool>("fromList");
        QTest::newRow("escape in list") << false << true;
        QTest::newRow("escape in search box") << false << false;
        QTest::newRow("ctrl+c in list") << true << true;
        QTest::newRow("ctrl+c in search box") << true << false;
    }
    void escapeAndCtrlCCarryNothing()
    {
        QFETCH(bool, ctrlC);
        QFETCH(bool, fromList);
        QLineEdit editor(QStringLiteral("8205.20.00.000K"));
        FrmPosicion form(&editor);
        form.show();
        auto *list = child<QListWidget>(form, "LstNCM");
        Script script;
        QTest::keyClick(child<QLineEdit>(form, "TxtNCMF"), Qt::Key_Return);
        QCOMPARE(list->count(), 1);
        QWidget *target = fromList ? static_cast<QWidget *>(list) : child<QLineEdit>(form, "TxtNCMF");
        if (ctrlC)
            QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
        else
            QTest::keyClick(target, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QCOMPARE(editor.text(), QStringLiteral("8205.20.00.000K"));
        VERIFY_PROMPTS(script);
    }

    void activationFocus()
    {
        QLineEdit editor(QStringLiteral("8205"));
        FrmPosicion form(&editor);
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(form, "TxtNCMF"));
        Script script;
        QTest::keyClick(child<QLineEdit>(form, "TxtNCMF"), Qt::Key_Return);
        // Another window comes and goes (as a message box would); the list takes the focus back.
        child<QLineEdit>(form, "TxtNCMF")->setFocus();
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.hide();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget(), child<QListWidget>(form, "LstNCM"));
        VERIFY_PROMPTS(script);
    }

    void searchFailure()
    {
        env->execCalvera(QStringLiteral("NCM"), QStringLiteral("drop table ncm"));
        const PlanexoError expected = nomenclatorError(QStringLiteral("select * from ncm"));
        QLineEdit editor(QStringLiteral("8205"));
        FrmPosicion form(&editor);
        form.show();
        Script script;
        script.expectMessage(QString::number(expected.number()) + QStringLiteral(" - ") +
                                 expected.description() + QStringLiteral("Sección []"),
                             Icon::None);
        QTest::keyClick(child<QLineEdit>(form, "TxtNCMF"), Qt::Key_Return);
        VERIFY_PROMPTS(script);
        QCOMPARE(child<QListWidget>(form, "LstNCM")->count(), 0);
        QVERIFY(form.isVisible());

        // Details fail with the description alone.
        script.expectMessage(expected.description(), Icon::None);
        form.MostrarDatos(kHammer);
        VERIFY_PROMPTS(script);
    }
};

QTEST_MAIN(TestSuffixes)
#include "test_suffixes.moc"
