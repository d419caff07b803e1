#include "SuffixText.h"

#include "shared/Interaction.h"
#include "data/PlanexoError.h"

static QString setSuffixValue(const QString &suffixText, const QString &code, const QString &value)
{
    const qsizetype at = suffixText.indexOf(code + QLatin1Char('('), 0, Qt::CaseInsensitive);
    if (at >= 0) {
        const qsizetype open = at + code.size();
        const qsizetype close = suffixText.indexOf(QLatin1Char(')'), open);
        // An entry without its closing bracket: VB's Mid with a start of 0.
        if (close < 0)
            throw PlanexoError(5, QStringLiteral("Llamada a procedimiento o argumento no válidos"),
                               QStringLiteral("Planexo"));
        return suffixText.left(open + 1) + value + suffixText.mid(close);
    }
    const QString entry = code + QLatin1Char('(') + value + QLatin1Char(')');
    if (suffixText.isEmpty()) return entry;
    return suffixText + QLatin1Char('-') + entry;
}

QString cambiarCadenaSufijo(const QString &suffixText, const QString &code, const QString &value)
{
    try {
        return setSuffixValue(suffixText, code, value);
    } catch (const PlanexoError &e) {
        interaction().message(QStringLiteral("Error ") + QString::number(e.number()) + QStringLiteral(" (") +
                                  e.description() +
                                  QStringLiteral(") in procedure cambiarCadenaSufijo of Formulario frmMain"),
                              Interaction::Icon::None);
        return QString();
    }
}
