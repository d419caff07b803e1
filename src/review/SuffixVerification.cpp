#include "SuffixVerification.h"

#include "shared/Interaction.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"

#include <optional>

namespace {

QString blankOut(QString text, const QString &characters)
{
    for (const QChar c : characters)
        text.replace(c, QLatin1Char(' '));
    return text;
}

// The article code as it is proposed for a value: "-", "(" and ")" as blanks.
QString cleanArticle(const QString &article)
{
    return blankOut(article, QStringLiteral(")(-"));
}

enum class ValueKind { None, Alphanumeric, Numeric };

// The hourglass of the verification. It gives way to every box and window the operator answers,
// so that they get the normal pointer, and comes back for the queries after them.
class Hourglass {
  public:
    Hourglass() { m_busy.emplace(); }
    void release() { m_busy.reset(); }
    void show()
    {
        if (!m_busy) m_busy.emplace();
    }

    Interaction::Answer message(const QString &text, Interaction::Icon icon,
                                Interaction::Buttons buttons = Interaction::Buttons::Ok)
    {
        release();
        const Interaction::Answer answer = interaction().message(text, icon, buttons);
        show();
        return answer;
    }

  private:
    std::optional<BusyCursor> m_busy;
};

struct CodeRows {
    QString first;       // sufijo of the first row, as stored
    QString detail;      // detalle of the first row
    QStringList options; // every row as a chooser line: sufijo - detalle
};

class Verification {
  public:
    Verification(const QString &position, QString &previous, int mode, QString &article)
        : m_levels(positionLevelList(position)), m_previous(previous), m_mode(mode), m_article(article)
    {
    }

    QString run();

  private:
    DataConnection &ncm() { return shared().enlace->getDataConnectionByEntity(QStringLiteral("NCM")); }
    CodeRows codeRows(const QString &code);
    bool previousIsComplete(const QStringList &codes);
    // Both return false when the operator gave up; the verification then ends with empty text.
    bool askValue(const CodeRows &rows, QString *result);
    bool chooseOption(const QString &code, const CodeRows &rows, QString *result);
    static void append(QString *result, const QString &element);

    QString m_levels;
    QString &m_previous;
    int m_mode;
    QString &m_article;
    Hourglass m_hourglass;
    ValueKind m_kind = ValueKind::None; // kept from one value code to the next
};

CodeRows Verification::codeRows(const QString &code)
{
    SharedState &s = shared();
    DataConnection &db = ncm();
    db.Sql = QStringLiteral("select sufijo,detalle from sufidos where sim in ") + m_levels +
             QStringLiteral(" and ") + db.dialect().left(QStringLiteral("sufijo"), 2) +
             QStringLiteral(" = ") + sql::text(vb::trim(code));
    CodeRows rows;
    Recordset rs;
    if (ncm().CrearRs(rs)) {
        rows.first = s.fmt->EsNull(rs.Fields(QStringLiteral("sufijo")));
        rows.detail = s.fmt->EsNull(rs.Fields(QStringLiteral("detalle")));
        for (; !rs.Eof(); rs.MoveNext())
            rows.options << vb::trim(s.fmt->EsNull(rs.Fields(QStringLiteral("sufijo")))) +
                                QStringLiteral(" - ") +
                                vb::trim(s.fmt->EsNull(rs.Fields(QStringLiteral("detalle"))));
    }
    rs.Close();
    return rows;
}

bool Verification::previousIsComplete(const QStringList &codes)
{
    const QString previous = m_previous.toUpper();
    for (const QString &code : codes) {
        const QString sufijo = codeRows(code).first;
        if (sufijo.size() == 2) {
            if (!previous.contains(vb::trim(sufijo).toUpper() + QLatin1Char('('))) return false;
        } else if (sufijo.size() == 4) {
            if (!previous.contains(vb::trim(code).toUpper())) return false;
        }
    }
    return true;
}

void Verification::append(QString *result, const QString &element)
{
    if (!vb::trim(*result).isEmpty()) *result += QLatin1Char('-');
    *result += element;
}

bool Verification::askValue(const CodeRows &rows, QString *result)
{
    const QString &S = rows.first;
    const QChar letter = S.at(0).toUpper();
    if (letter == QLatin1Char('A'))
        m_kind = ValueKind::Alphanumeric;
    else if (letter == QLatin1Char('Z'))
        m_kind = ValueKind::Numeric;

    QString proposed;
    for (;;) {
        if (!m_previous.isEmpty()) {
            proposed.clear();
            const qsizetype open = m_previous.indexOf(S + QLatin1Char('('));
            if (open >= 0) {
                const qsizetype from = open + S.size() + 1;
                const qsizetype close = m_previous.indexOf(QLatin1Char(')'), from);
                if (close >= 0) proposed = m_previous.mid(from, close - from);
            } else {
                m_article = cleanArticle(m_article);
                proposed = m_article;
            }
        }
        const QString upper = S.toUpper();
        if (upper == QLatin1String("AA") && proposed.isEmpty()) proposed = shared().AA_MARCA;
        if ((upper == QLatin1String("AB") || upper == QLatin1String("AI")) && proposed.isEmpty())
            proposed = cleanArticle(m_article);

        m_hourglass.release();
        QString answer = interaction()
                             .input(rows.detail + QStringLiteral("   (") + S + QLatin1Char(')'),
                                    QStringLiteral("Ingrese Valor (") + S + QLatin1Char(')'), proposed)
                             .value_or(QString());
        if (answer.isEmpty()) {
            const Interaction::Answer cancel =
                interaction().message(QStringLiteral("Desea cancelar la operación"),
                                      Interaction::Icon::Question, Interaction::Buttons::YesNo);
            if (cancel == Interaction::Answer::Yes) return false;
        }
        m_hourglass.show();

        const QString cleaned = m_sVALCADENA(blankOut(answer, QStringLiteral("()-")));
        if (m_kind == ValueKind::Numeric) {
            // Cutting a number can leave a text that is none ("123,5E2" gives "123,5E"), which the
            // format would pass on unchanged: that answer is refused as well.
            const QString six = cleaned.left(6);
            if (vb::isNumeric(cleaned) && vb::isNumeric(six)) {
                append(result, vb::trim(S) + QLatin1Char('(') + vb::format(six, QStringLiteral("000000")) +
                                   QLatin1Char(')'));
                return true;
            }
            m_hourglass.message(QStringLiteral("Debe Ingresar un Valor Númerico"), Interaction::Icon::None);
        } else if (m_kind == ValueKind::Alphanumeric) {
            if (!vb::trim(cleaned).isEmpty()) {
                append(result, vb::trim(S) + QLatin1Char('(') + cleaned + QLatin1Char(')'));
                return true;
            }
        }
    }
}

bool Verification::chooseOption(const QString &code, const CodeRows &rows, QString *result)
{
    const QString prefix = rows.first.left(2);
    QString current;
    if (!m_previous.isEmpty()) {
        const qsizetype p = m_previous.indexOf(prefix);
        if (p >= 0) {
            if (m_previous.indexOf(QLatin1Char('-'), p + 3) >= 0) {
                const qsizetype dash = m_previous.indexOf(QLatin1Char('-'), p + 1);
                current = m_previous.mid(p, dash - p);
            } else if (m_previous.size() >= 4 && m_previous.size() - 4 == p) {
                current = m_previous.right(4);
            }
        }
    }

    m_hourglass.release();
    const QString selection = interaction().cargaSufijos(
        QStringList{vb::trim(code) + QStringLiteral("00") + QStringLiteral(" - ") + QStringLiteral("Ninguna opción")} +
            rows.options,
        current);
    if (selection.isEmpty()) {
        interaction().message(QStringLiteral("Error en generar sufijos"), Interaction::Icon::None);
        return false;
    }
    m_hourglass.show();
    append(result, selection.left(4));
    return true;
}

QString Verification::run()
{
    SharedState &s = shared();
    if (!s.enlace || !s.fmt)
        throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                           QStringLiteral("Planexo"));
    DataConnection &db = ncm();
    // The codes are asked in the order the distinct rows come. SQLite reads them through the index
    // on (sim, sufijo): chapter codes first, then those of the heading, subheading and position.
    // PostgreSQL hashes distinct rows into no order, so there the same codes are grouped and put
    // in that order explicitly (byte order, as the levels' blanks must sort first).
    if (db.dialect().engine() == Dialect::Engine::PostgreSQL)
        db.Sql = QStringLiteral("select left(sufijo,2) as asufijo from sufidos where sim in ") + m_levels +
                 QStringLiteral(" group by left(sufijo,2) order by min(sim collate \"C\"), 1");
    else
        db.Sql = QStringLiteral("select distinct ") + db.dialect().left(QStringLiteral("sufijo"), 2) +
                 QStringLiteral(" as asufijo from sufidos where sim in ") + m_levels;
    QStringList codes;
    Recordset rs;
    if (!ncm().CrearRs(rs)) {
        m_hourglass.message(QStringLiteral("No se encontro Sufijo en el nomenclador"),
                            Interaction::Icon::None);
        return QStringLiteral("SIN SUFIJOS");
    }
    for (; !rs.Eof(); rs.MoveNext())
        codes << s.fmt->EsNull(rs.Fields(QStringLiteral("asufijo")));
    rs.Close();

    if (!m_previous.isEmpty() && m_mode != 1) {
        if (previousIsComplete(codes)) {
            if (!m_previous.endsWith(QLatin1Char('-'))) m_previous += QLatin1Char('-');
            return m_previous;
        }
        m_hourglass.message(
            QStringLiteral("Se encontro diferencias entre los Sufijos de Subitem y el nomenclador."),
            Interaction::Icon::Exclamation);
    }

    QString result;
    for (const QString &code : codes) {
        const CodeRows rows = codeRows(code);
        if (rows.first.size() == 2) {
            if (!askValue(rows, &result)) return QString();
        } else if (rows.first.size() == 4) {
            if (!chooseOption(code, rows, &result)) return QString();
        }
    }
    if (!result.endsWith(QLatin1Char('-'))) result += QLatin1Char('-');
    return result;
}

} // namespace

QString positionLevelList(const QString &position)
{
    return QLatin1Char('(') + sql::text(position.left(2) + QStringLiteral("  .  .  .   ")) +
           QLatin1Char(',') + sql::text(position.left(4) + QStringLiteral(".  .  .   ")) + QLatin1Char(',') +
           sql::text(position.left(7) + QStringLiteral(".  .   ")) + QLatin1Char(',') +
           sql::text(position.left(14)) + QLatin1Char(')');
}

QString VerificarSufijos(const QString &NCM, QString &SufijoAnt, int Modificar, QString &p_Articulo)
{
    try {
        Verification verification(NCM, SufijoAnt, Modificar, p_Articulo);
        return verification.run();
    } catch (const PlanexoError &e) {
        // The verification's hourglass is gone with it; the box gets the normal pointer.
        interaction().message(QString::number(e.number()) + QStringLiteral(" - ") + e.description() +
                                  QStringLiteral("\r\n\r\nSeccion [Torvisca.frmModificar.VarificarSufijos]"),
                              Interaction::Icon::Critical);
        return QString();
    }
}

QString m_sVALCADENA(const QString &text)
{
    QString cleaned = vb::trim(text);
    // Character by character, as VB's UCase: no letter turns into two.
    for (QChar &c : cleaned)
        c = c.toUpper();
    cleaned.truncate(40);
    for (QChar &c : cleaned)
        c = m_sVALCHAR(c);
    return cleaned;
}

QChar m_sVALCHAR(QChar c)
{
    // The allowed characters have the same code in Windows-1252 as in Unicode; a character without
    // a Windows-1252 code is not among them.
    const char16_t code = c.unicode();
    const bool letter = code >= u'A' && code <= u'Z';
    const bool digit = code >= u'0' && code <= u'9';
    switch (code) {
    case 209: // Ñ
    case u'&':
    case u',':
    case u'/':
    case u'*':
    case u'[':
    case u']':
        return c;
    default:
        return letter || digit ? c : QChar(u' ');
    }
}
