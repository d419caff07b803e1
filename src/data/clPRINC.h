#pragma once

#include <QString>

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

private:
    EnlaceDatos::EDMain *m_manager = nullptr;
};

} // namespace oCHKX
