#include "clPRINC.h"

#include "EDMain.h"
#include "PlanexoError.h"
#include "SqlText.h"
#include "VbFormat.h"

#include <QSet>
#include <QVector>

// Validation rules:
// - The position must read NNNN.NN.NN.NNNL (eight digits with their points, a point, the three-digit
//   opening and the check letter); anything else is 3.
// - A well-formed position without its row in ncm ([001], [002], [003]) is 1.
// - The codes that apply are the sufidos rows whose sim is one of the position's four levels (chapter,
//   heading, subheading, full position). A two-character sufijo is a value code; four characters are
//   one option of the code formed by the first two. The first row of a code decides its kind.
// - The suffix text is a chain of elements separated by "-" (one trailing "-" allowed): value
//   elements CODE(value) and four-character option elements. A text that does not read so is 2.
// - It is valid (0) when each value code has an element with a non-blank value (numeric for a code
//   starting with "Z") and each option code has an element equal to one of its options or to the
//   code followed by "00". Elements of codes that do not apply are ignored. "SIN SUFIJOS", the
//   marker of a position without suffixes, is no element, also when stage 2 has appended the brand
//   to it ("SIN SUFIJOS-AA(ACME)"). A text without elements is valid only for a position without
//   codes. Everything else is 2.
// Codes are compared without letter case.

namespace oCHKX {

namespace {

struct Element {
    QString code; // upper case
    QString text; // the value of a value element, the whole option element otherwise (upper case)
    bool isValue = false;
};

bool isAlnum(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool wellFormedPosition(const QString &p)
{
    if (p.size() != 15) return false;
    for (int i = 0; i < 14; ++i) {
        const bool point = i == 4 || i == 7 || i == 10;
        if (point ? p[i] != QLatin1Char('.') : !isDigit(p[i])) return false;
    }
    const QChar letter = p[14];
    return (letter >= QLatin1Char('A') && letter <= QLatin1Char('Z')) ||
           (letter >= QLatin1Char('a') && letter <= QLatin1Char('z'));
}

// The sim values of the four levels of a position text.
QStringList positionLevels(const QString &p)
{
    return {p.left(2) + QStringLiteral("  .  .  .   "), p.left(4) + QStringLiteral(".  .  .   "),
            p.left(7) + QStringLiteral(".  .   "), p.left(14)};
}

// A level as a key: without its trailing blanks, which an engine may pad or drop in a fixed-width sim.
QString levelKey(const QString &level)
{
    qsizetype n = level.size();
    while (n > 0 && level[n - 1] == QLatin1Char(' '))
        --n;
    return level.left(n);
}

const QString kNoSuffixes = QStringLiteral("SIN SUFIJOS");

bool parseElements(const QString &t, QVector<Element> *elements)
{
    int i = 0;
    const int n = int(t.size());
    while (i < n) {
        Element e;
        const int afterMarker = i + int(kNoSuffixes.size());
        if (QStringView(t).mid(i, kNoSuffixes.size()).compare(kNoSuffixes, Qt::CaseInsensitive) == 0 &&
            (afterMarker == n || t[afterMarker] == QLatin1Char('-'))) {
            i = afterMarker;
        } else if (n - i >= 3 && isAlnum(t[i]) && isAlnum(t[i + 1]) && t[i + 2] == QLatin1Char('(')) {
            const int close = int(t.indexOf(QLatin1Char(')'), i + 3));
            if (close < 0) return false;
            e.code = t.mid(i, 2).toUpper();
            e.text = t.mid(i + 3, close - i - 3);
            e.isValue = true;
            i = close + 1;
        } else if (n - i >= 4 && isAlnum(t[i]) && isAlnum(t[i + 1]) && isAlnum(t[i + 2]) &&
                   isAlnum(t[i + 3])) {
            e.text = t.mid(i, 4).toUpper();
            e.code = e.text.left(2);
            i += 4;
        } else {
            return false;
        }
        if (!e.code.isEmpty()) elements->push_back(e);
        if (i == n) break;
        if (t[i] != QLatin1Char('-')) return false;
        ++i;
    }
    return true;
}

// A query's rows into a recordset.
void intoRecordset(DataConnection &db, const Statement &query, Recordset &rs)
{
    QStringList names;
    QVector<QVector<QVariant>> rows = db.rows(query, &names);
    rs.assign(names, std::move(rows));
}

} // namespace

void clPRINC::ConexionString(EnlaceDatos::EDMain &manager)
{
    m_manager = &manager;
}

void clPRINC::anticipate(const QStringList &positions)
{
    m_ahead = positions;
}

const clPRINC::Codes &clPRINC::codesOf(const QString &position)
{
    const auto cached = m_codes.constFind(position);
    if (cached != m_codes.constEnd()) return *cached;
    constexpr int kPositionsPerRead = 200;
    QStringList positions{position};
    for (const QString &ahead : std::as_const(m_ahead)) {
        if (positions.size() >= kPositionsPerRead) break;
        if (wellFormedPosition(ahead) && !m_codes.contains(ahead) && !positions.contains(ahead))
            positions << ahead;
    }
    readCodes(positions);
    return *m_codes.constFind(position);
}

// Two queries for several positions: which of them the nomenclator holds, then the sufidos rows of
// those positions' levels not read before (levels are shared: a chapter's rows serve all its
// positions). A position's codes are its levels' rows taken level by level, chapter first.
void clPRINC::readCodes(const QStringList &positions)
{
    DataConnection &ncm = m_manager->getDataConnectionByEntity(QStringLiteral("NCM"));
    const Dialect &d = ncm.dialect();
    // SQLite parses long literal lists slowly: there the keys travel as one bound JSON array.
    const bool json = d.engine() == Dialect::Engine::SQLite;
    Recordset rs;
    if (json) {
        ncm.Sql =
            QStringLiteral("select j.value as posicion from json_each(?) j cross join ncm n on n.[001] = "
                           "substr(j.value, 1, 10) and n.[002] = substr(j.value, 12, 3) and n.[003] = "
                           "substr(j.value, 15, 1)");
        intoRecordset(ncm, Statement(ncm.Sql, {DataConnection::jsonArray(positions)}), rs);
    } else {
        QList<QStringList> keys;
        keys.reserve(positions.size());
        for (const QString &p : positions)
            keys << QStringList{p, p.left(10), p.mid(11, 3), p.mid(14, 1)};
        ncm.Sql = QStringLiteral("select k.column1 as posicion from ") + sql::valuesTable(keys) +
                  QStringLiteral(" k join ncm n on n.") + d.column(QStringLiteral("001")) +
                  QStringLiteral(" = k.column2 and n.") + d.column(QStringLiteral("002")) +
                  QStringLiteral(" = k.column3 and n.") + d.column(QStringLiteral("003")) +
                  QStringLiteral(" = k.column4");
        ncm.CrearRs(rs);
    }
    QSet<QString> found;
    for (; !rs.Eof(); rs.MoveNext())
        found.insert(rs.Fields(QStringLiteral("posicion")).toString());

    QStringList missing;
    QSet<QString> asked;
    for (const QString &p : positions) {
        if (!found.contains(p)) continue;
        for (const QString &level : positionLevels(p)) {
            const QString key = levelKey(level);
            if (m_levels.contains(key) || asked.contains(key)) continue;
            asked.insert(key);
            missing << level;
        }
    }
    if (!missing.isEmpty()) {
        for (const QString &key : std::as_const(asked))
            m_levels.insert(key, {});
        if (json) {
            ncm.Sql = QStringLiteral("select sim, sufijo from sufidos where sim in (select value from "
                                     "json_each(?))");
            intoRecordset(ncm, Statement(ncm.Sql, {DataConnection::jsonArray(missing)}), rs);
        } else {
            QStringList literals;
            literals.reserve(missing.size());
            for (const QString &level : std::as_const(missing))
                literals << sql::text(level);
            ncm.Sql = QStringLiteral("select sim, sufijo from sufidos where sim in (") +
                      literals.join(QLatin1Char(',')) + QLatin1Char(')');
            ncm.CrearRs(rs);
        }
        for (; !rs.Eof(); rs.MoveNext()) {
            const auto level = m_levels.find(levelKey(rs.Fields(QStringLiteral("sim")).toString()));
            if (level == m_levels.end()) continue;
            const QVariant field = rs.Fields(QStringLiteral("sufijo"));
            level->push_back(field.isNull() ? QString() : field.toString().trimmed().toUpper());
        }
    }

    for (const QString &p : positions) {
        Codes codes;
        codes.exists = found.contains(p);
        if (codes.exists) {
            QHash<QString, bool> isValueCode; // the kind of each code, fixed by its first row
            for (const QString &level : positionLevels(p)) {
                for (const QString &sufijo : m_levels.value(levelKey(level))) {
                    if (sufijo.size() != 2 && sufijo.size() != 4) continue;
                    const QString code = sufijo.left(2);
                    const bool value = sufijo.size() == 2;
                    const auto kind = isValueCode.constFind(code);
                    if (kind == isValueCode.constEnd()) {
                        isValueCode.insert(code, value);
                        if (value) codes.valueCodes << code;
                    } else if (*kind != value) {
                        continue;
                    }
                    if (!value && !codes.options[code].contains(sufijo)) codes.options[code] << sufijo;
                }
            }
        }
        m_codes.insert(p, codes);
    }
}

int clPRINC::ValidarSufijos(const QString &position, const QString &suffixes)
{
    if (!m_manager)
        throw PlanexoError(91, QStringLiteral("Variable de objeto o de bloque With no establecida"),
                           QStringLiteral("oCHKX.clPRINC.ValidarSufijos"));
    if (!wellFormedPosition(position)) return 3;
    const Codes &codes = codesOf(position);
    if (!codes.exists) return 1;

    QVector<Element> elements;
    if (!parseElements(suffixes.trimmed(), &elements)) return 2;
    const bool anyCode = !codes.valueCodes.isEmpty() || !codes.options.isEmpty();
    if (elements.isEmpty()) return anyCode ? 2 : 0;

    for (const QString &code : codes.valueCodes) {
        const bool numeric = code.startsWith(QLatin1Char('Z'));
        bool given = false;
        for (const Element &e : elements) {
            if (!e.isValue || e.code != code) continue;
            const QString value = e.text.trimmed();
            if (!value.isEmpty() && (!numeric || vb::isNumeric(value))) {
                given = true;
                break;
            }
        }
        if (!given) return 2;
    }
    for (auto it = codes.options.constBegin(); it != codes.options.constEnd(); ++it) {
        const QString noOption = it.key() + QStringLiteral("00");
        bool chosen = false;
        for (const Element &e : elements) {
            if (!e.isValue && e.code == it.key() && (e.text == noOption || it.value().contains(e.text))) {
                chosen = true;
                break;
            }
        }
        if (!chosen) return 2;
    }
    return 0;
}

} // namespace oCHKX
