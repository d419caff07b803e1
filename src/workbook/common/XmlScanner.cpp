#include "workbook/common/XmlScanner.h"

#include "workbook/common/ByteScan.h"
#include "workbook/common/Surrogates.h"
#include "workbook/common/WorkbookError.h"

#include <QStringDecoder>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

// Deeper nesting than any workbook part needs is refused rather than tracked.
constexpr size_t MaxDepth = 256;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Bytes that may start (1) or continue (1 or 2) an XML name; any byte of a multibyte character counts.
constexpr std::array<uint8_t, 256> nameTable()
{
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80)
            t[size_t(c)] = 1;
        else if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            t[size_t(c)] = 2;
    }
    return t;
}
constexpr std::array<uint8_t, 256> NameTable = nameTable();

// Bytes that end plain text or need decoding: '<', '&' and CR.
constexpr std::array<bool, 256> textStopTable()
{
    std::array<bool, 256> t{};
    t[size_t('<')] = t[size_t('&')] = t[size_t('\r')] = true;
    return t;
}
constexpr std::array<bool, 256> TextStop = textStopTable();

bool isNameStart(unsigned char c)
{
    return NameTable[c] == 1;
}

bool isNameChar(unsigned char c)
{
    return NameTable[c] != 0;
}

std::string_view localName(std::string_view qualified)
{
    const size_t colon = qualified.rfind(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

// Scans a name from p; colon is left at its last ':' or at nullptr.
const char *scanName(const char *p, const char *end, const char *&colon)
{
    colon = nullptr;
    while (p < end && isNameChar(uchar(*p))) {
        if (*p == ':') colon = p;
        ++p;
    }
    return p;
}

// The first '<' from p, or end.
const char *findLt(const char *p, const char *end)
{
    // Cell values are short: a plain loop before handing longer texts to memchr.
    const char *quick = end - p > 32 ? p + 32 : end;
    for (; p < quick; ++p)
        if (*p == '<') return p;
    if (p == end) return end;
    const void *hit = memchr(p, '<', size_t(end - p));
    return hit ? static_cast<const char *>(hit) : end;
}

const char *find(const char *from, const char *end, std::string_view what)
{
    if (from >= end) return nullptr;
#ifdef Q_OS_WIN
    // Windows' C library has no memmem.
    const std::string_view text(from, size_t(end - from));
    const size_t at = text.find(what);
    return at == std::string_view::npos ? nullptr : from + at;
#else
    const void *hit = memmem(from, size_t(end - from), what.data(), what.size());
    return static_cast<const char *>(hit);
#endif
}

// Whether text holds a character that decoding changes ('&' and CR; in attributes TAB and LF too).
bool needsDecoding(std::string_view text, bool attribute)
{
    for (const char c : text)
        if (c == '&' || c == '\r' || (attribute && (c == '\t' || c == '\n'))) return true;
    return false;
}

} // namespace

// Appends UTF-8 bytes without a temporary string.
void XmlScanner::appendUtf8(QString &out, std::string_view bytes)
{
    if (bytes.empty()) return;
    const qsizetype old = out.size();
    out.resize(old + qsizetype(bytes.size())); // never fewer bytes than UTF-16 units
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QChar *end =
        decoder.appendToBuffer(out.data() + old, QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    out.resize(end - out.constData());
}

namespace {

void appendCodePoint(QString &out, uint32_t code)
{
    if (code > 0xFFFF) {
        out += QChar(QChar::highSurrogate(code));
        out += QChar(QChar::lowSurrogate(code));
    } else {
        out += QChar(char16_t(code));
    }
}

} // namespace

XmlScanner::XmlScanner(std::string_view data)
{
    // Parts are UTF-8 as a rule; a UTF-16 part (byte-order mark) is converted once.
    if (data.size() >= 2 && ((uchar(data[0]) == 0xFF && uchar(data[1]) == 0xFE) ||
                             (uchar(data[0]) == 0xFE && uchar(data[1]) == 0xFF))) {
        QStringDecoder decoder(uchar(data[0]) == 0xFF ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        QString text = decoder(QByteArrayView(data.data() + 2, qsizetype(data.size() - 2)));
        workbook::replaceLoneSurrogates(text); // UTF-8 has no form for them
        m_converted = text.toStdString();
        data = m_converted;
    } else if (data.size() >= 3 && uchar(data[0]) == 0xEF && uchar(data[1]) == 0xBB &&
               uchar(data[2]) == 0xBF) {
        data.remove_prefix(3);
    }
    m_begin = data.data();
    m_pos = m_begin;
    m_end = m_begin + data.size();
}

void XmlScanner::releaseInput()
{
    // The open elements' names are copied out of the piece that is about to change.
    std::vector<std::string> names(m_open.begin(), m_open.end());
    m_openNames.swap(names);
    for (size_t i = 0; i < m_open.size(); ++i)
        m_open[i] = m_openNames[i];
    m_name = {};
    m_text = {};
    m_attributes.clear();
    m_begin = m_pos = m_end = nullptr;
}

void XmlScanner::continueWith(std::string_view data, bool more)
{
    m_begin = data.data();
    m_pos = m_begin;
    m_end = m_begin + data.size();
    m_more = more;
}

XmlScanner::Token XmlScanner::fail(const char *what)
{
    if (m_error.isEmpty()) m_error = QString::fromUtf8(what);
    m_pos = m_end;
    m_open.clear();
    m_pendingEnd = false;
    return Error;
}

int XmlScanner::line() const
{
    int n = 1;
    for (const char *p = m_begin; p < m_pos && p < m_end; ++p)
        n += *p == '\n';
    return n;
}

XmlScanner::Token XmlScanner::next()
{
    if (!m_error.isEmpty()) return Error;
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_name = localName(m_open.back());
        m_open.pop_back();
        return EndElement;
    }
    for (;;) {
        if (m_pos >= m_end) {
            if (m_more) return More;
            if (!m_open.empty() || !m_rootSeen) return fail("el documento termina antes de tiempo");
            return EndDocument;
        }
        if (*m_pos != '<') {
            const char *stop = findLt(m_pos, m_end);
            if (m_open.empty()) {
                for (const char *p = m_pos; p < stop; ++p)
                    if (!isSpace(*p)) return fail("hay texto fuera del elemento raíz");
                m_pos = stop;
                continue;
            }
            m_text = std::string_view(m_pos, size_t(stop - m_pos));
            m_cdata = false;
            m_pos = stop;
            return Text;
        }
        const size_t left = size_t(m_end - m_pos);
        const char second = left >= 2 ? m_pos[1] : '\0';
        if (second == '/') {
            // Usually the end tag is exactly the one expected.
            if (!m_open.empty()) {
                const std::string_view expected = m_open.back();
                const size_t n = expected.size();
                if (left >= n + 3 && m_pos[n + 2] == '>' && std::memcmp(m_pos + 2, expected.data(), n) == 0) {
                    m_open.pop_back();
                    m_name = localName(expected);
                    m_pos += n + 3;
                    return EndElement;
                }
            }
            const char *nameStart = m_pos + 2;
            const char *colon;
            const char *p = scanName(nameStart, m_end, colon);
            const std::string_view qualified(nameStart, size_t(p - nameStart));
            const std::string_view local =
                colon ? std::string_view(colon + 1, size_t(p - colon - 1)) : qualified;
            while (p < m_end && isSpace(*p))
                ++p;
            if (p >= m_end || *p != '>') return fail("una etiqueta de cierre está mal formada");
            if (m_open.empty() || m_open.back() != qualified)
                return fail("las etiquetas no se cierran en orden");
            m_open.pop_back();
            m_name = local;
            m_pos = p + 1;
            return EndElement;
        }
        if (second == '?') {
            const char *close = find(m_pos + 2, m_end, "?>");
            if (!close) return fail("una instrucción de proceso no termina");
            m_pos = close + 2;
            continue;
        }
        if (second == '!') {
            if (left >= 4 && std::memcmp(m_pos, "<!--", 4) == 0) {
                const char *close = find(m_pos + 4, m_end, "-->");
                if (!close) return fail("un comentario no termina");
                m_pos = close + 3;
                continue;
            }
            if (left >= 9 && std::memcmp(m_pos, "<![CDATA[", 9) == 0) {
                const char *close = find(m_pos + 9, m_end, "]]>");
                if (!close) return fail("una sección CDATA no termina");
                if (m_open.empty()) return fail("hay texto fuera del elemento raíz");
                m_text = std::string_view(m_pos + 9, size_t(close - m_pos - 9));
                m_cdata = true;
                m_pos = close + 3;
                return Text;
            }
            m_dtd = true;
            return fail("declara un tipo de documento");
        }

        // A start tag with its attributes.
        const char *p = m_pos + 1;
        if (p >= m_end || !isNameStart(uchar(*p))) return fail("una etiqueta está mal formada");
        const char *nameStart = p;
        const char *nameColon;
        p = scanName(p, m_end, nameColon);
        const std::string_view qualified(nameStart, size_t(p - nameStart));
        const std::string_view local =
            nameColon ? std::string_view(nameColon + 1, size_t(p - nameColon - 1)) : qualified;
        m_attributes.clear();
        bool selfClosing = false;
        for (;;) {
            const char *beforeSpace = p;
            while (p < m_end && isSpace(*p))
                ++p;
            if (p >= m_end) return fail("una etiqueta no termina");
            if (*p == '>') {
                ++p;
                break;
            }
            if (*p == '/') {
                if (p + 1 >= m_end || p[1] != '>') return fail("una etiqueta está mal formada");
                p += 2;
                selfClosing = true;
                break;
            }
            if (p == beforeSpace || !isNameStart(uchar(*p))) return fail("un atributo está mal formado");
            const char *attrStart = p;
            const char *attrColon;
            p = scanName(p, m_end, attrColon);
            Attribute attr;
            if (attrColon) {
                attr.prefix = std::string_view(attrStart, size_t(attrColon - attrStart));
                attr.local = std::string_view(attrColon + 1, size_t(p - attrColon - 1));
            } else {
                attr.local = std::string_view(attrStart, size_t(p - attrStart));
            }
            while (p < m_end && isSpace(*p))
                ++p;
            if (p >= m_end || *p != '=') return fail("un atributo no tiene valor");
            ++p;
            while (p < m_end && isSpace(*p))
                ++p;
            if (p >= m_end || (*p != '"' && *p != '\''))
                return fail("el valor de un atributo no está entre comillas");
            const char quote = *p++;
            const char *close = p;
            while (close < m_end && *close != quote && *close != '<')
                ++close;
            if (close >= m_end) return fail("el valor de un atributo no termina");
            if (*close == '<') return fail("el valor de un atributo contiene '<'");
            attr.value = std::string_view(p, size_t(close - p));
            m_attributes.push_back(attr);
            p = close + 1;
        }
        if (m_open.empty() && m_rootSeen) return fail("hay más de un elemento raíz");
        if (m_open.size() >= MaxDepth) return fail("los elementos están anidados a demasiada profundidad");
        m_rootSeen = true;
        m_open.push_back(qualified);
        m_pendingEnd = selfClosing;
        m_name = local;
        m_pos = p;
        return StartElement;
    }
}

bool XmlScanner::attribute(std::string_view local, std::string_view &value, bool prefixed) const
{
    for (const Attribute &a : m_attributes) {
        if (a.local != local || a.prefix == "xmlns" || (prefixed && a.prefix.empty())) continue;
        value = a.value;
        return true;
    }
    return false;
}

QString XmlScanner::attributeText(std::string_view local) const
{
    std::string_view raw;
    QString out;
    if (attribute(local, raw) && !decode(raw, out, true)) out.clear();
    return out;
}

bool XmlScanner::appendText(QString &out) const
{
    if (m_cdata) {
        QString text;
        appendUtf8(text, m_text);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace('\r', '\n');
        out += text;
        return true;
    }
    return decode(m_text, out, false);
}

bool XmlScanner::decode(std::string_view raw, QString &out, bool attribute)
{
    if (!needsDecoding(raw, attribute)) {
        appendUtf8(out, raw);
        return true;
    }
    const qsizetype start = out.size();
    size_t i = 0;
    while (i < raw.size()) {
        const size_t stop = raw.find_first_of("&\r\t\n", i);
        const size_t plainEnd = stop == std::string_view::npos ? raw.size() : stop;
        appendUtf8(out, raw.substr(i, plainEnd - i));
        if (stop == std::string_view::npos) break;
        i = stop;
        const char c = raw[i];
        if (c == '\r') {
            // Line ends are normalised to a line feed; in attributes they become blanks.
            out += attribute ? QChar(' ') : QChar('\n');
            i += (i + 1 < raw.size() && raw[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        if (c == '\n' || c == '\t') {
            out += attribute ? QChar(' ') : QChar(c);
            ++i;
            continue;
        }
        const size_t semi = raw.find(';', i);
        if (semi == std::string_view::npos || semi - i > 12) return false;
        const std::string_view entity = raw.substr(i + 1, semi - i - 1);
        if (entity == "lt")
            out += QChar('<');
        else if (entity == "gt")
            out += QChar('>');
        else if (entity == "amp")
            out += QChar('&');
        else if (entity == "quot")
            out += QChar('"');
        else if (entity == "apos")
            out += QChar('\'');
        else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            if (digits.empty()) return false;
            uint32_t code = 0;
            for (const char d : digits) {
                int v;
                if (d >= '0' && d <= '9')
                    v = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    v = d - 'A' + 10;
                else
                    return false;
                code = code * (hex ? 16 : 10) + uint32_t(v);
                if (code > 0x10FFFF) return false;
            }
            if (code == 0) return false;
            // References to the two halves of a pair, which some writers use, make the character;
            // a half alone becomes U+FFFD below.
            appendCodePoint(out, code);
        } else {
            return false;
        }
        i = semi + 1;
    }
    workbook::replaceLoneSurrogates(out, start);
    return true;
}

namespace {
// Reads on to the end of the current element; onText sees each text directly inside it and
// returns false on a bad reference. False on malformed XML or a piece that ends inside.
template <class OnText> bool walkElement(XmlScanner &xml, OnText onText)
{
    int depth = 1;
    while (depth > 0) {
        switch (xml.next()) {
        case XmlScanner::StartElement:
            ++depth;
            break;
        case XmlScanner::EndElement:
            --depth;
            break;
        case XmlScanner::Text:
            if (depth == 1 && !onText()) return xml.failReference();
            break;
        case XmlScanner::EndDocument:
        case XmlScanner::Error:
        case XmlScanner::More: // inside an element: the piece ended where it may not
            return false;
        }
    }
    return true;
}
} // namespace

bool XmlScanner::appendElementText(QString &out)
{
    return walkElement(*this, [&] { return appendText(out); });
}

bool XmlScanner::readElementUtf8(std::string_view &out, std::string &scratch)
{
    out = {};
    bool inScratch = false;
    int pieces = 0;
    const bool ok = walkElement(*this, [&] {
        if (pieces++ == 0 && !m_cdata && !needsDecoding(m_text, false)) {
            out = m_text;
            return true;
        }
        if (!inScratch) {
            scratch.assign(out);
            inScratch = true;
        }
        QString decoded;
        if (!appendText(decoded)) return false;
        scratch += decoded.toStdString();
        return true;
    });
    if (ok && inScratch) out = scratch;
    return ok;
}

bool XmlScanner::failReference()
{
    fail("una referencia de carácter no es válida");
    return false;
}

bool XmlScanner::decodeUtf8(std::string_view raw, std::string &out)
{
    const size_t start = out.size();
    const auto refuse = [&]() {
        out.resize(start);
        return false;
    };
    size_t i = 0;
    for (;;) {
        const size_t amp = raw.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(raw.substr(i));
            return true;
        }
        out.append(raw.substr(i, amp - i));
        const size_t semi = raw.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 12) return refuse();
        const std::string_view entity = raw.substr(amp + 1, semi - amp - 1);
        uint32_t code = 0;
        if (entity == "lt")
            code = '<';
        else if (entity == "gt")
            code = '>';
        else if (entity == "amp")
            code = '&';
        else if (entity == "quot")
            code = '"';
        else if (entity == "apos")
            code = '\'';
        else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 7) return refuse();
            for (const char d : digits) {
                uint32_t v;
                if (d >= '0' && d <= '9')
                    v = uint32_t(d - '0');
                else if (hex && d >= 'a' && d <= 'f')
                    v = uint32_t(d - 'a' + 10);
                else if (hex && d >= 'A' && d <= 'F')
                    v = uint32_t(d - 'A' + 10);
                else
                    return refuse();
                code = code * (hex ? 16 : 10) + v;
            }
        }
        // Surrogate halves, which may pair up, and bad references are left to decode().
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return refuse();
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
        i = semi + 1;
    }
}

bool XmlScanner::fastChildText(std::string_view child, std::string_view &text, bool entities)
{
    if (m_pendingEnd || !m_error.isEmpty()) return false;
    const size_t n = child.size();
    const size_t left = size_t(m_end - m_pos);
    // <child> ... </child>
    if (left < 2 * n + 5 || m_pos[0] != '<' || m_pos[n + 1] != '>') return false;
    for (size_t i = 0; i < n; ++i)
        if (m_pos[1 + i] != child[i]) return false;
    const char *start = m_pos + n + 2;
    const char *p = start;
    while (p < m_end && !TextStop[uchar(*p)])
        ++p;
    while (entities && p < m_end && *p == '&') {
        ++p;
        while (p < m_end && !TextStop[uchar(*p)])
            ++p;
    }
    if (p >= m_end || *p != '<' || size_t(m_end - p) < n + 3 || p[1] != '/' || p[n + 2] != '>') return false;
    for (size_t i = 0; i < n; ++i)
        if (p[2 + i] != child[i]) return false;
    text = std::string_view(start, size_t(p - start));
    m_pos = p + n + 3;
    return true;
}

namespace {

using bytescan::findAny;
using bytescan::startsWith;

// Plain text from p up to the next '<' (no CR; no '&' unless references is given, which then says
// whether one was seen); nullptr when there is none.
const char *plainTextEnd(const char *p, const char *end, bool *references = nullptr)
{
    for (;;) {
        p = findAny(p, end, '<', '&', '\r');
        if (p < end && *p == '&' && references) {
            *references = true;
            ++p;
            continue;
        }
        return p < end && *p == '<' ? p : nullptr;
    }
}

} // namespace

bool XmlScanner::plainCell(PlainCell &cell)
{
    if (m_pendingEnd || !m_error.isEmpty() || m_open.empty()) return false;
    const char *p = m_pos;
    const char *end = m_end;
    if (end - p < 4 || p[0] != '<' || p[1] != 'c' || !(isSpace(p[2]) || p[2] == '>' || p[2] == '/'))
        return false;
    p += 2;
    cell = PlainCell();
    for (;;) {
        const char *beforeSpace = p;
        while (p < end && isSpace(*p))
            ++p;
        if (p >= end) return false;
        if (*p == '>' || *p == '/') break;
        // name="value" with a one-letter name among r, s and t
        if (p == beforeSpace || end - p < 4 || p[1] != '=' || (p[2] != '"' && p[2] != '\'')) return false;
        std::string_view *target = *p == 'r'   ? &cell.ref
                                   : *p == 's' ? &cell.style
                                   : *p == 't' ? &cell.type
                                               : nullptr;
        if (!target) return false;
        const char quote = p[2];
        const char *value = p + 3;
        const char *close = findAny(value, end, quote, '<', quote);
        if (close >= end || *close == '<') return false;
        *target = std::string_view(value, size_t(close - value));
        p = close + 1;
    }
    if (*p == '/') {
        if (end - p < 2 || p[1] != '>') return false;
        m_pos = p + 2;
        return true;
    }
    ++p; // '>'
    if (startsWith(p, end, "</c>")) {
        m_pos = p + 4;
        return true;
    }
    if (startsWith(p, end, "<v>")) {
        const char *text = p + 3;
        const char *stop = plainTextEnd(text, end);
        if (!stop || !startsWith(stop, end, "</v></c>")) return false;
        cell.text = std::string_view(text, size_t(stop - text));
        cell.hasValue = true;
        m_pos = stop + 8;
        return true;
    }
    if (startsWith(p, end, "<is><t>")) {
        const char *text = p + 7;
        const char *stop = plainTextEnd(text, end, &cell.references);
        if (!stop || !startsWith(stop, end, "</t></is></c>")) return false;
        cell.text = std::string_view(text, size_t(stop - text));
        cell.isInline = true;
        m_pos = stop + 13;
        return true;
    }
    return false;
}

bool XmlScanner::plainNested(std::string_view outer, std::string_view inner, std::string_view &text)
{
    if (m_pendingEnd || !m_error.isEmpty() || m_open.empty()) return false;
    const char *p = m_pos;
    const auto tag = [&](std::string_view name, bool end) {
        const size_t n = name.size() + (end ? 3 : 2);
        if (size_t(m_end - p) < n || p[0] != '<' || (end && p[1] != '/') || p[n - 1] != '>' ||
            std::memcmp(p + (end ? 2 : 1), name.data(), name.size()) != 0)
            return false;
        p += n;
        return true;
    };
    if (!tag(outer, false) || !tag(inner, false)) return false;
    const char *start = p;
    const char *stop = plainTextEnd(p, m_end);
    if (!stop) return false;
    p = stop;
    if (!tag(inner, true) || !tag(outer, true)) return false;
    text = std::string_view(start, size_t(stop - start));
    m_pos = p;
    return true;
}

bool XmlScanner::closePlain(std::string_view qualified)
{
    const std::string_view input = plainInput();
    const size_t n = qualified.size();
    if (input.size() < n + 3 || m_open.back() != qualified || input[0] != '<' || input[1] != '/' ||
        input[n + 2] != '>' || input.substr(2, n) != qualified)
        return false;
    m_open.pop_back();
    m_pos += n + 3;
    return true;
}

bool XmlScanner::openPlain(size_t tagBytes, size_t nameBytes)
{
    if (m_open.size() >= MaxDepth) return false;
    m_open.push_back(std::string_view(m_pos + 1, nameBytes));
    m_pos += tagBytes;
    return true;
}

bool XmlScanner::atEndTag() const
{
    if (m_pendingEnd) return true;
    if (m_open.empty() || !m_error.isEmpty()) return false;
    const std::string_view expected = m_open.back();
    const size_t n = expected.size();
    return size_t(m_end - m_pos) >= n + 3 && m_pos[0] == '<' && m_pos[1] == '/' && m_pos[n + 2] == '>' &&
           std::memcmp(m_pos + 2, expected.data(), n) == 0;
}

bool XmlScanner::skipElement()
{
    int depth = 1;
    while (depth > 0) {
        switch (next()) {
        case StartElement:
            ++depth;
            break;
        case EndElement:
            --depth;
            break;
        case Text:
            break;
        case EndDocument:
        case Error:
        case More: // inside an element: the piece ended where it may not
            return false;
        }
    }
    return true;
}

void XmlScanner::failPart(const QString &part, bool withLine) const
{
    if (m_dtd) workbook::damaged(QStringLiteral("la parte %1 declara un tipo de documento").arg(part));
    const QString what = m_error.isEmpty() ? QStringLiteral("termina antes de tiempo") : m_error;
    if (!withLine) workbook::damaged(QStringLiteral("la parte %1 no es XML válido (%2)").arg(part, what));
    workbook::damaged(
        QStringLiteral("la parte %1 no es XML válido (línea %2: %3)").arg(part).arg(line()).arg(what));
}
