#include "PdfProtocol.h"

#include <charconv>
#include <string>
#include <string_view>

namespace pdf {

namespace {

// Beyond a hundredth of this many points a length is no page's.
constexpr long MaxHundredths = 1'000'000'000;

class Lines {
  public:
    explicit Lines(const QByteArray &text) : m_text(text.constData(), size_t(text.size())) {}
    // The next line without its '\n'; throws when the output ends without one.
    std::string_view next()
    {
        const size_t end = m_text.find('\n', m_at);
        if (end == std::string_view::npos) fail("la salida termina a mitad de una línea");
        const std::string_view line = m_text.substr(m_at, end - m_at);
        m_at = end + 1;
        ++m_number;
        return line;
    }
    bool atEnd() const { return m_at == m_text.size(); }
    [[noreturn]] void fail(const std::string &what) const
    {
        throw ProtocolError("línea " + std::to_string(m_number) + ": " + what);
    }

  private:
    std::string_view m_text;
    size_t m_at = 0;
    size_t m_number = 0;
};

// The next blank-separated integer of line at at (advanced past it and one blank).
long integer(std::string_view line, size_t &at, long min, long max, const Lines &lines)
{
    long value = 0;
    const char *begin = line.data() + at, *end = line.data() + line.size();
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop == begin || value < min || value > max || (stop != end && *stop != ' '))
        lines.fail("número no válido");
    // from_chars takes "+1" as no number, "-0" and "007" as numbers: only the plain forms pass.
    if ((*begin == '0' && stop - begin > 1) || (*begin == '-' && (stop - begin < 2 || begin[1] == '0')))
        lines.fail("número no válido");
    at = size_t(stop - line.data()) + (stop != end ? 1 : 0);
    return value;
}

bool validUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return false;
        size_t n = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

std::string_view word(std::string_view line, size_t &at)
{
    const size_t end = line.find(' ', at);
    const std::string_view w =
        line.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? line.size() : end + 1;
    return w;
}

} // namespace

HelperOutput parseHelperOutput(const QByteArray &output)
{
    Lines lines(output);
    HelperOutput out;
    if (lines.next() != ProtocolHeader) lines.fail("no es la salida de planexo-pdftext 1");
    std::string_view line = lines.next();
    if (line == "error locked" || line == "error damaged") {
        out.kind = line == "error locked" ? HelperOutput::Kind::Locked : HelperOutput::Kind::Damaged;
        if (!lines.atEnd()) lines.fail("texto después del error");
        return out;
    }
    size_t at = 0;
    if (word(line, at) != "pages") lines.fail("falta la cantidad de páginas");
    out.declaredPages = int(integer(line, at, 0, MaxPages, lines));
    if (at != line.size()) lines.fail("texto de más");
    size_t words = 0;
    out.pages.reserve(size_t(out.declaredPages));
    for (int p = 1; p <= out.declaredPages; ++p) {
        line = lines.next();
        if (line == "error damaged") {
            out.kind = HelperOutput::Kind::Damaged;
            if (!lines.atEnd()) lines.fail("texto después del error");
            return out;
        }
        at = 0;
        if (word(line, at) != "page" || integer(line, at, p, p, lines) != p) lines.fail("falta la página");
        Page page;
        page.width = double(integer(line, at, 1, MaxHundredths, lines)) / 100;
        page.height = double(integer(line, at, 1, MaxHundredths, lines)) / 100;
        const long count = integer(line, at, 0, long(MaxWords), lines);
        if (at != line.size()) lines.fail("texto de más");
        words += size_t(count);
        if (words > MaxWords) lines.fail("demasiadas palabras");
        page.words.reserve(size_t(count));
        for (long w = 0; w < count; ++w) {
            line = lines.next();
            at = 0;
            Word word;
            word.x0 = double(integer(line, at, -MaxHundredths, MaxHundredths, lines)) / 100;
            word.y0 = double(integer(line, at, -MaxHundredths, MaxHundredths, lines)) / 100;
            word.x1 = double(integer(line, at, -MaxHundredths, MaxHundredths, lines)) / 100;
            word.y1 = double(integer(line, at, -MaxHundredths, MaxHundredths, lines)) / 100;
            word.spaceAfter = integer(line, at, 0, 1, lines) == 1;
            if (word.x1 < word.x0 || word.y1 < word.y0) lines.fail("caja de palabra invertida");
            const std::string_view text = line.substr(std::min(at, line.size()));
            if (text.empty() || text.size() > MaxWordBytes || text.front() == ' ' || text.back() == ' ' ||
                !validUtf8(text))
                lines.fail("texto de palabra no válido");
            word.text.assign(text);
            page.words.push_back(std::move(word));
        }
        out.pages.push_back(std::move(page));
    }
    if (lines.next() != "end" || !lines.atEnd()) lines.fail("falta el final");
    return out;
}

} // namespace pdf
