#pragma once

#include <QHash>
#include <QString>
#include <optional>

struct SharedState;

// Resolves the origin texts of one process run into country codes: by the country list, by the
// taught relations, and else by asking the operator through the relation dialog.
class CountryResolver {
public:
    explicit CountryResolver(SharedState &state) : m_state(state) {}

    // The country code for an origin text; asks the operator when no table resolves it.
    QString ObtenerCodigoPais(const QString &origin);
    // Shows the relation dialog until a country is chosen; returns its code.
    QString PedirRelacionPais(const QString &origin);
    // True when the process resolves the origin text without asking: a blank text, or one that the
    // country list or the taught relations know.
    bool resolvesSilently(const QString &origin);

private:
    std::optional<QString> lookup(const QString &origin);

    SharedState &m_state;
    // Texts resolved by the tables in this run; the tables only grow while the process runs.
    QHash<QString, QString> m_resolved;
};
