/* UTF-8 <-> UTF-16LE/BE conversions behind the iconv interface (see iconv.h). Invalid input stops
   with EILSEQ, a cut sequence with EINVAL, a full output with E2BIG, as iconv does. */
#include "iconv.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

enum { UTF8 = 1, UTF16LE = 2, UTF16BE = 3 };

static int kind(const char *name)
{
    if (!strcmp(name, "UTF-8") || !strcmp(name, "UTF8")) return UTF8;
    if (!strcmp(name, "UTF-16LE")) return UTF16LE;
    if (!strcmp(name, "UTF-16BE")) return UTF16BE;
    return 0;
}

iconv_t iconv_open(const char *tocode, const char *fromcode)
{
    const int to = kind(tocode), from = kind(fromcode);
    if (!to || !from || (to == UTF8) == (from == UTF8)) {
        errno = EINVAL;
        return (iconv_t)-1;
    }
    int *cd = malloc(2 * sizeof(int));
    if (!cd) return (iconv_t)-1;
    cd[0] = to;
    cd[1] = from;
    return cd;
}

int iconv_close(iconv_t cd)
{
    free(cd);
    return 0;
}

/* One code point from the input: its length in bytes, 0 when cut, -1 when invalid. */
static int decode(int from, const unsigned char *in, size_t left, uint32_t *cp)
{
    if (from == UTF8) {
        const unsigned char c = in[0];
        int n;
        uint32_t v;
        if (c < 0x80) { *cp = c; return 1; }
        if ((c & 0xE0) == 0xC0) { n = 2; v = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { n = 3; v = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { n = 4; v = c & 0x07; }
        else return -1;
        if (left < (size_t)n) return 0;
        for (int i = 1; i < n; ++i) {
            if ((in[i] & 0xC0) != 0x80) return -1;
            v = v << 6 | (in[i] & 0x3F);
        }
        if ((n == 2 && v < 0x80) || (n == 3 && v < 0x800) || (n == 4 && (v < 0x10000 || v > 0x10FFFF)) ||
            (v >= 0xD800 && v <= 0xDFFF))
            return -1;
        *cp = v;
        return n;
    }
    if (left < 2) return 0;
    const uint32_t u = from == UTF16LE ? (uint32_t)(in[0] | in[1] << 8) : (uint32_t)(in[0] << 8 | in[1]);
    if (u < 0xD800 || u > 0xDFFF) { *cp = u; return 2; }
    if (u > 0xDBFF) return -1;
    if (left < 4) return 0;
    const uint32_t l = from == UTF16LE ? (uint32_t)(in[2] | in[3] << 8) : (uint32_t)(in[2] << 8 | in[3]);
    if (l < 0xDC00 || l > 0xDFFF) return -1;
    *cp = 0x10000 + ((u - 0xD800) << 10) + (l - 0xDC00);
    return 4;
}

/* The code point written to out: its length, 0 when it does not fit. */
static int encode(int to, uint32_t cp, unsigned char *out, size_t left)
{
    if (to == UTF8) {
        const int n = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (left < (size_t)n) return 0;
        if (n == 1) { out[0] = (unsigned char)cp; return 1; }
        for (int i = n - 1; i > 0; --i) {
            out[i] = (unsigned char)(0x80 | (cp & 0x3F));
            cp >>= 6;
        }
        out[0] = (unsigned char)((n == 2 ? 0xC0 : n == 3 ? 0xE0 : 0xF0) | cp);
        return n;
    }
    uint16_t units[2];
    int count = 1;
    if (cp >= 0x10000) {
        units[0] = (uint16_t)(0xD800 + ((cp - 0x10000) >> 10));
        units[1] = (uint16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
        count = 2;
    } else {
        units[0] = (uint16_t)cp;
    }
    if (left < (size_t)(2 * count)) return 0;
    for (int i = 0; i < count; ++i) {
        out[2 * i + (to == UTF16LE ? 0 : 1)] = (unsigned char)(units[i] & 0xFF);
        out[2 * i + (to == UTF16LE ? 1 : 0)] = (unsigned char)(units[i] >> 8);
    }
    return 2 * count;
}

size_t iconv(iconv_t cd, char **inbuf, size_t *inbytesleft, char **outbuf, size_t *outbytesleft)
{
    if (!inbuf || !*inbuf) return 0; /* no shift state to reset */
    const int to = ((int *)cd)[0], from = ((int *)cd)[1];
    while (*inbytesleft > 0) {
        uint32_t cp = 0;
        const int read = decode(from, (const unsigned char *)*inbuf, *inbytesleft, &cp);
        if (read <= 0) {
            errno = read == 0 ? EINVAL : EILSEQ;
            return (size_t)-1;
        }
        const int written = encode(to, cp, (unsigned char *)*outbuf, *outbytesleft);
        if (written == 0) {
            errno = E2BIG;
            return (size_t)-1;
        }
        *inbuf += read;
        *inbytesleft -= (size_t)read;
        *outbuf += written;
        *outbytesleft -= (size_t)written;
    }
    return 0;
}
