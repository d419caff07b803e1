#pragma once

#include <QString>

namespace modGlobal {

// The login name of the user running the program, at most 255 characters; "(Desconocido)" when
// none can be obtained.
QString ObtenerUsuario();

// Cuts a comma at the end of the text (blanks after it ignored) together with those blanks, storing
// the result back into the argument; any other text is returned unchanged, trailing blanks included.
QString QuitarComaFinal(QString &text);

} // namespace modGlobal
