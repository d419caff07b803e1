#pragma once

#include <QString>
#include <string_view>
#include <vector>

// A small pull scanner for the XML parts of a workbook package, held in memory as UTF-8. It
// checks what a reader of these parts needs (tag nesting, attribute syntax, entities, one root)
// and refuses document type declarations. Element and attribute names are compared by local name,
// so any namespace prefix is accepted. Much faster than a general XML reader on sheets of many
// small cells.
class XmlScanner {
  public:
    // More: the input given so far is used up and the part goes on (see moreToFollow).
    enum Token { StartElement, EndElement, Text, EndDocument, Error, More };

    // data must outlive the scanner; a UTF-16 part is converted to UTF-8 first.
    explicit XmlScanner(std::string_view data);

    Token next();

    // A part read in pieces: while more follows, running out of input between tokens gives More
    // instead of an early end. releaseInput lets go of the current piece (call it before the
    // piece's bytes change), continueWith hands over the next one, which must start where a
    // token starts.
    void setMoreToFollow(bool more) { m_more = more; }
    void releaseInput();
    void continueWith(std::string_view data, bool more);

    // Local name of the current start or end element.
    std::string_view name() const { return m_name; }
    bool isNamed(std::string_view local) const { return m_name == local; }
    // Raw value of the current start element's attribute with this local name; false when absent.
    // prefixed: only an attribute written with a namespace prefix (as r:id) matches.
    bool attribute(std::string_view local, std::string_view &value, bool prefixed = false) const;
    struct Attribute {
        std::string_view local;
        std::string_view prefix;
        std::string_view value; // raw
    };
    // The current start element's attributes, in their order.
    const std::vector<Attribute> &attributes() const { return m_attributes; }
    // The attribute's value decoded (entities resolved); empty when absent or malformed.
    QString attributeText(std::string_view local) const;

    // Appends the current text token, entities resolved and line ends normalised; false when it
    // holds a malformed entity.
    bool appendText(QString &out) const;

    // Appends the text of the current element (start tag just read) up to its end tag, without the
    // text of nested elements; false on malformed XML (then error() says why).
    bool appendElementText(QString &out);
    // The same as UTF-8: a view into the part when nothing needs decoding, else decoded into scratch.
    bool readElementUtf8(std::string_view &out, std::string &scratch);
    // When the current element (start tag just read) goes on with exactly <child>text</child> and
    // the text needs no decoding, consumes that child and gives its text; otherwise reads nothing.
    // A shortcut past three tokens for the usual cell value and shared string.
    // entities: the text may hold references, left to the caller to decode.
    bool fastChildText(std::string_view child, std::string_view &text, bool entities = false);
    // Fails the scan as a malformed character reference does; false.
    bool failReference();
    // A cell as writers usually put it: <c> without prefix, with only r, s and t attributes (raw
    // values; a repeated one counts last), and no value, a <v> whose text needs no decoding or an
    // <is><t> whose text needs at most references decoded.
    struct PlainCell {
        std::string_view ref, style, type;
        std::string_view text; // of the <v> or the <is><t>, raw
        bool hasValue = false, isInline = false;
        bool references = false; // the text holds '&'
    };
    // When the input goes on with such a cell, consumes it whole and gives it; otherwise reads
    // nothing. A shortcut past the tokens of the usual cell.
    bool plainCell(PlainCell &cell);
    // The input from here when the scanner stands between tokens inside an element (as plainCell
    // needs), for a caller that reads whole elements of a known form itself; else empty.
    // consumePlain(n) steps past n bytes of it, which must end where a token ends.
    std::string_view plainInput() const
    {
        if (m_pendingEnd || !m_error.isEmpty() || m_open.empty()) return {};
        return std::string_view(m_pos, size_t(m_end - m_pos));
    }
    void consumePlain(size_t n) { m_pos += n; }
    // Closes the current element, opened as qualified, when the input goes on with its end tag
    // written plainly (</qualified>); false, reading nothing, otherwise.
    bool closePlain(std::string_view qualified);
    // Takes as open an element whose start tag (not self-closing, checked by the caller) makes the
    // first tagBytes of plainInput(), its name the nameBytes after the '<'; false, reading nothing,
    // when elements would nest too deep.
    bool openPlain(size_t tagBytes, size_t nameBytes);
    // When the input goes on with <outer><inner>text</inner></outer>, names without prefix and the
    // text needing no decoding, consumes it and gives the text; otherwise reads nothing.
    bool plainNested(std::string_view outer, std::string_view inner, std::string_view &text);
    // Whether the input goes on with the plain end tag of the current element.
    bool atEndTag() const;
    // Skips the rest of the current element; false on malformed XML.
    bool skipElement();

    QString error() const { return m_error; }
    // Fails the read of a part whose scan failed: the workbook is damaged, this part named with
    // the line and what is wrong (or that it declares a document type).
    [[noreturn]] void failPart(const QString &part, bool withLine = true) const;
    bool declaresDocumentType() const { return m_dtd; }
    int line() const;

    // Appends UTF-8 bytes to out.
    static void appendUtf8(QString &out, std::string_view bytes);
    // Decodes raw text (no line ends) with the five entities and references to characters that are
    // no surrogates into UTF-8 appended to out; false, with out as it was, for anything else.
    static bool decodeUtf8(std::string_view raw, std::string &out);
    // Decodes raw XML character data into out.
    static bool decode(std::string_view raw, QString &out, bool attribute);

  private:
    Token fail(const char *what);

    std::string m_converted; // UTF-8 copy of a UTF-16 part
    const char *m_begin;
    const char *m_pos;
    const char *m_end;
    std::string_view m_name;
    std::string_view m_text;
    bool m_cdata = false;
    bool m_pendingEnd = false;
    bool m_rootSeen = false;
    bool m_dtd = false;
    bool m_more = false;
    std::vector<std::string_view> m_open;
    std::vector<std::string> m_openNames; // names of open elements once their piece is gone
    std::vector<Attribute> m_attributes;
    QString m_error;
};
