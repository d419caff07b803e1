#pragma once

#include <QString>

namespace systemuser {

// The login name of the user running the program, at most 255 characters, cut at a NUL;
// "(Desconocido)" when none can be obtained. On Windows the account's own name (GetUserNameW),
// the USERNAME variable, which any process may set, only when that call fails.
QString login();

} // namespace systemuser
