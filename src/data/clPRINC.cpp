#include "clPRINC.h"

#include "EDMain.h"
#include "PlanexoError.h"

namespace oCHKX {

void clPRINC::ConexionString(EnlaceDatos::EDMain &manager)
{
    m_manager = &manager;
}

} // namespace oCHKX
