#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace EnlaceDatos {
class EDMain;
}

namespace oCHKX {

// The suffix-validation component: checks a tariff position and its suffix text against the
// nomenclator reached through the data-access manager.
class clPRINC {
public:
    // Hands over the manager through which the nomenclator (entity "NCM") is reached.
    void ConexionString(EnlaceDatos::EDMain &manager);
    // 0 valid, 1 position not in the nomenclator, 2 suffixes not valid, 3 malformed position.
    int ValidarSufijos(const QString &position, const QString &suffixes);
    // Positions about to be validated: the nomenclator rows of those not read yet are read together
    // with the next position that needs reading (a round trip each on a server).
    void anticipate(const QStringList &positions);

  private:
    // What the nomenclator says about one position text.
    struct Codes {
        bool exists = false;
        QStringList valueCodes;              // two-character codes, upper case
        QHash<QString, QStringList> options; // option code -> its four-character options, upper case
    };
    const Codes &codesOf(const QString &position);
    void readCodes(const QStringList &positions);

    EnlaceDatos::EDMain *m_manager = nullptr;
    // Positions already looked up by this instance, which lives for one validation run.
    QHash<QString, Codes> m_codes;
    // The sufidos rows read for each level (sim without trailing blanks), trimmed and upper case, in
    // the order the engine gave them.
    QHash<QString, QStringList> m_levels;
    QStringList m_ahead;
};

} // namespace oCHKX
