#include "CountryResolver.h"

#include "shared/Interaction.h"
#include "shared/SharedState.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"

std::optional<QString> CountryResolver::lookup(const QString &origin)
{
    oAlm::clGestor &db = *m_state.gestor;
    Recordset rs;
    if (vb::isNumeric(origin)) {
        db.Sql = QStringLiteral("Select Id From Pais where ID = ") + sql::text(origin);
        if (db.CrearRs(rs)) return origin;
    }
    db.Sql = QStringLiteral("Select Id From Pais where descripcion = ") + sql::text(origin);
    if (db.CrearRs(rs)) return m_state.fmt->EsNull(rs.Fields(QStringLiteral("id")));
    db.Sql = QStringLiteral("Select ORI From ORG where PAI = ") + sql::text(origin);
    if (db.CrearRs(rs)) return m_state.fmt->EsNull(rs.Fields(QStringLiteral("ORI")));
    return std::nullopt;
}

QString CountryResolver::ObtenerCodigoPais(const QString &origin)
{
    // A blank origin names no country: asking would trap the operator in a dialog that refuses
    // an empty origin text. Stage 2 may still take the catalogue's country.
    if (origin.trimmed().isEmpty()) return QString();
    const auto cached = m_resolved.constFind(origin);
    if (cached != m_resolved.constEnd()) return *cached;
    if (const std::optional<QString> code = lookup(origin)) {
        m_resolved.insert(origin, *code);
        return *code;
    }
    interaction().message(QStringLiteral("Pais ") + origin + QStringLiteral(" no reconocido"),
                          Interaction::Icon::Critical);
    return PedirRelacionPais(origin);
}

bool CountryResolver::resolvesSilently(const QString &origin)
{
    return origin.trimmed().isEmpty() || m_resolved.contains(origin) || lookup(origin).has_value();
}

QString CountryResolver::PedirRelacionPais(const QString &origin)
{
    for (;;) {
        m_state.sRetorno = origin;
        const QString chosen = interaction().relacionPais(origin);
        if (!chosen.isEmpty()) return chosen;
    }
}
