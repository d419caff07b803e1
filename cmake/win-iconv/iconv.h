/* The iconv interface for the Windows cross-build of poppler's C++ library, which converts only
   between UTF-8 and UTF-16 (LE or BE): Debian 12 has no iconv for MinGW-w64. */
#ifndef PLANEXO_WIN_ICONV_H
#define PLANEXO_WIN_ICONV_H
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void *iconv_t;
iconv_t iconv_open(const char *tocode, const char *fromcode);
size_t iconv(iconv_t cd, char **inbuf, size_t *inbytesleft, char **outbuf, size_t *outbytesleft);
int iconv_close(iconv_t cd);
#ifdef __cplusplus
}
#endif
#endif
