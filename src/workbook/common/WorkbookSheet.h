#pragma once

#include "workbook/common/SheetInfo.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <QTime>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What converting many cells to text needs from the user's locale, looked up once when the run
// starts (the locale does not change during one load), and the texts of whole-day dates converted
// so far.
struct SheetTextRun {
    SheetTextRun();
    std::string decimal; // the locale's decimal separator, UTF-8
    QHash<int64_t, std::string> days;
    std::string scratch; // the last text that is not a view into the sheet
    char number[32];     // the last number's text (WorkbookSheet::NumberChars)
};

// Takes a sheet's cells as they are read, in place of the sheet keeping them.
class SheetCellSink {
  public:
    virtual ~SheetCellSink() = default;
    // About this many cells follow (room never written costs no memory).
    virtual void reserve(size_t cells) = 0;
    // The next cell with a value, after every cell before it in row-major order: its text as
    // WorkbookSheet::textUtf8 gives it, valid during the call. May throw SheetStreamFallback.
    virtual void cell(uint32_t row, uint32_t col, std::string_view text) = 0;
    // The sheet has been read whole. May throw SheetStreamFallback.
    virtual void end() = 0;
    // The cells of one row, all at once: texts[i] is column i + 1, an empty one no cell; the same as
    // cell() for each non-empty one in turn, which is what this does unless a sink does better.
    virtual void row(uint32_t row, const std::string_view *texts, uint32_t count)
    {
        for (uint32_t i = 0; i < count; ++i)
            if (!texts[i].empty()) cell(row, i + 1, texts[i]);
    }
    // Texts of the cells that follow may be views into text (a reader's whole file), which stays
    // unchanged while the sheet is read: a sink may keep them as places in it instead of copies.
    virtual void shareText(const QByteArray &text) { (void)text; }
};

// Thrown while cells are handed to a sink when the sheet cannot be read that way (cells out of
// order or repeated, an error value, a read that starts over): the caller reads it again keeping
// its cells, which gives exactly what a read that keeps them gives.
struct SheetStreamFallback {};

// The cell values of one worksheet, held sparsely: only cells that have a value are stored, in
// row-major order with a per-row index, so a lookup costs O(1) in a row without gaps and a binary
// search otherwise. Filled by the format readers, then frozen by finish().
class WorkbookSheet {
  public:
    // Excel's own grid limits; a workbook that places a cell beyond them is refused.
    static constexpr uint32_t MaxRows = 1048576;
    static constexpr uint32_t MaxCols = 16384;
    // At most this many cells with a value are kept; a larger sheet is refused.
    static constexpr size_t MaxCells = 20'000'000;

    enum class Kind : uint8_t { Text, Number, Date, Bool, Error };

    explicit WorkbookSheet(size_t maxCells = MaxCells) : m_maxCells(maxCells) {}

    struct Cell {
        uint32_t row;
        uint16_t col;
        Kind kind;
        union {
            double number; // Number, Date (serial), Bool (0 or 1)
            uint32_t str;  // Text, Error: index of a string
        };
    };

    // Strings are kept in one UTF-8 pool; the returned index identifies them. A lone surrogate is
    // kept as U+FFFD.
    uint32_t addString(QStringView text);
    // The same for a text that is UTF-8 already (bytes that are no UTF-8 read as U+FFFD).
    uint32_t addUtf8Text(std::string_view text);
    // A string kept as UTF-8 bytes of a buffer the sheet holds (see holdUtf8), converted when read:
    // shared strings that need no decoding are not copied twice.
    uint32_t addUtf8String(uint32_t offset, uint32_t length);
    // Only the bytes of the strings are kept, not the markup around them; the UTF-8 strings must
    // have been added in the order of their offsets.
    void holdUtf8(QByteArray buffer);
    // Room for this many cells, as a sheet declares its size (at most the cell cap).
    void reserveCells(size_t cells);
    // Room for this many strings, and for this many bytes of strings added as text.
    void reserveStrings(size_t count) { m_spans.reserve(count); }
    void reserveText(size_t bytes) { m_pool.reserve(qsizetype(std::min<size_t>(bytes, UINT32_MAX))); }
    uint32_t stringCount() const { return uint32_t(m_spans.size()); }
    QString string(uint32_t index) const;

    // Each add* stores a cell at (row, col), both from 1; a later value for the same cell wins.
    // They throw PlanexoError (no source) when the cell is outside Excel's grid or the cell cap is hit.
    void addText(uint32_t row, uint32_t col, uint32_t stringIndex);
    void addNumber(uint32_t row, uint32_t col, double value, bool isDate);
    void addBool(uint32_t row, uint32_t col, bool value);
    // While streaming, a number cell whose text is already the one numberUtf8 writes for its value
    // (isNumberUtf8) is handed over as that text, unparsed; false, storing nothing, otherwise.
    // shown, when given, is that number's text in the user's locale exactly as the sink would get
    // it (a view the sink may keep, see shareText).
    bool addNumberText(uint32_t row, uint32_t col, std::string_view text, std::string_view shown = {});
    // addText for a string added before the sheet's first cell (a shared string), which a sink
    // takes straight from the sheet's strings.
    void addSharedText(uint32_t row, uint32_t col, uint32_t stringIndex);
    // While streaming, the text cells of a whole row (texts[i] is column i + 1, an empty one no
    // cell), as addStreamedText for each non-empty one in turn.
    void addStreamedRow(uint32_t row, const std::string_view *texts, uint32_t count);
    // While streaming, a text cell handed over as these UTF-8 bytes without being kept.
    void addStreamedText(uint32_t row, uint32_t col, std::string_view text)
    {
        if (!m_sink) {
            addText(row, col, addUtf8Text(text));
            return;
        }
        push(row, col, Kind::Text);
        m_sink->cell(row, col, text);
    }
    void addError(uint32_t row, uint32_t col, uint32_t stringIndex);

    // At most this many merged ranges are kept; a workbook's further ones are left out.
    static constexpr qsizetype MaxMergedRanges = 100'000;
    // Cells merged into one, from 1, both ends included, as a workbook records them: clipped to the
    // grid, a range of one cell or of none left out (the covered cells are never made). Repeated
    // ranges are kept once (finish() sorts them); overlapping ones are kept as given.
    void addMergedRange(uint32_t firstRow, uint32_t firstCol, uint32_t lastRow, uint32_t lastCol);
    // Sorted by first row, then first column.
    const MergedRangeList &mergedRanges() const { return m_merged; }
    bool mergedRangesFull() const { return m_merged.size() >= MaxMergedRanges; }

    // Serials count from 1904-01-01 instead of Excel's 1900 system.
    void setDate1904(bool on) { m_date1904 = on; }
    bool date1904() const { return m_date1904; }

    // From now on the cells go to sink instead of being kept (with the texts added for them);
    // the locale is looked up here, once.
    void streamTo(SheetCellSink *sink);
    bool streaming() const { return m_sink != nullptr; }
    // While streaming: see SheetCellSink::shareText.
    void shareText(const QByteArray &text)
    {
        if (m_sink) m_sink->shareText(text);
    }

    // Forgets the cells added so far (strings stay), to read the sheet again.
    void dropCells()
    {
        if (m_sink) throw SheetStreamFallback{};
        m_cells.clear();
        m_merged.clear();
        m_sorted = true;
    }

    // Sorts the cells and builds the row index; call once after the last add*.
    void finish();

    size_t cellCount() const { return m_cells.size(); }
    // The last row holding a cell, once finished; 0 for an empty sheet.
    uint32_t lastRow() const { return m_rowStart.size() >= 2 ? uint32_t(m_rowStart.size() - 2) : 0; }
    // Bytes of the strings' UTF-8.
    size_t stringBytes() const { return size_t(m_pool.size()) + size_t(m_utf8.size()); }
    const Cell *find(uint32_t row, uint32_t col) const;

    // The cell's value as text in the user's locale; empty for a cell without value. An error
    // value throws PlanexoError 13 (no source) naming the cell.
    QString text(uint32_t row, uint32_t col) const;
    // The same text as UTF-8 (a shared string as the part holds it: bytes that are no UTF-8 read as
    // U+FFFD once decoded): a view into the sheet's strings or into run.scratch, valid until the
    // next call with that run. Fails as text() does.
    std::string_view textUtf8(uint32_t row, uint32_t col, SheetTextRun &run) const;
    // Replaces the cell's text in memory.
    void setText(uint32_t row, uint32_t col, const QString &text);

    // Text conversions of single values, as VB turns a variant into a string.
    // A number: vb::str (the locale's decimal separator, no grouping, 15 significant digits).
    static QString numberText(double value);
    // The same with the locale's decimal separator given (looked up once by the caller).
    static QString numberText(double value, QChar decimal);
    // numberText in the C form (a point as the separator) as UTF-8 into out, which holds at least
    // NumberChars bytes (those past the text may be overwritten too); the length of the text.
    static constexpr size_t NumberChars = 32;
    static size_t numberUtf8(double value, char *out);
    // The same with this decimal separator of one byte.
    static size_t numberUtf8(double value, char *out, char decimal);
    // Whether a number's text in a workbook is exactly what numberUtf8 writes for the value it
    // reads as: a whole number below 1E+15, or one of 1 to 6 decimal places (the last not zero)
    // from 1E-04 to below 1E+09, without leading zeros or a sign on zero.
    // point: the decimal separator the text uses (the locale's, one byte, for a text as shown).
    static bool isNumberUtf8(std::string_view text, char point = '.')
    {
        const bool negative = !text.empty() && text[0] == '-';
        size_t i = negative ? 1 : 0;
        const size_t intStart = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        const std::string_view integer = text.substr(intStart, i - intStart);
        if (i == text.size()) return isNumberUtf8(negative, integer, nullptr);
        if (text[i] != point) return false;
        const size_t fracStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        if (i != text.size()) return false;
        const std::string_view decimals = text.substr(fracStart);
        return isNumberUtf8(negative, integer, &decimals);
    }
    // The same for a text already split into its sign, its integer digits and, when it has a
    // decimal separator, its decimal digits (none is a text such as "5,").
    static bool isNumberUtf8(bool negative, std::string_view integer, const std::string_view *decimals)
    {
        const size_t intDigits = integer.size();
        if (intDigits == 0 || (intDigits > 1 && integer[0] == '0')) return false;
        if (!decimals) return intDigits <= 15 && !(intDigits == 1 && integer[0] == '0' && negative);
        const size_t places = decimals->size();
        if (intDigits > 9 || places == 0 || places > 6 || decimals->back() == '0') return false;
        if (integer[0] != '0') return true;
        // Below 1E-04 the text has an exponent.
        for (size_t k = 0; k < std::min<size_t>(places, 4); ++k)
            if ((*decimals)[k] != '0') return true;
        return false;
    }
    // What numberUtf8 writes for the value a number's text reads as, worked out on the text: the
    // text itself when isNumberUtf8, else a decimal of 16 or 17 significant digits rounded to 15
    // where the rounding is certain. The bytes written to out (NumberChars), 0 when not worked out.
    static size_t numberTextUtf8(std::string_view text, char *out);
    // A date: the locale's short date form with the year widened to four digits, then a blank and
    // the locale's long time form (without time zone) when the value has a time part; a value
    // below one day of the 1900 system is a time alone. Values no date can show (negative, past
    // 9999) are numbers.
    static QString dateText(double serial, bool date1904);
    // A boolean: "Verdadero"/"Falso" when the locale's language is Spanish, else "True"/"False".
    static QString boolText(bool value);
    // The serial of a date and time in the 1900 or 1904 date system.
    static double serialOf(const QDate &date, const QTime &time, bool date1904 = false);
    // "A1" style name of a cell.
    static QString cellName(uint32_t row, uint32_t col);

  private:
    Cell &push(uint32_t row, uint32_t col, Kind kind)
    {
        // The usual streamed cell: inside the grid, after the last one, below the cap, no error.
        if (m_sink && kind != Kind::Error && row - 1 < MaxRows && col - 1 < MaxCols && m_streamedCount != 0 &&
            m_streamedCount < m_maxCells &&
            ((uint64_t(row) << 32) | col) > ((uint64_t(m_streamed.row) << 32) | m_streamed.col))
            return streamed(row, col, kind, 1);
        return pushChecked(row, col, kind);
    }
    Cell &pushChecked(uint32_t row, uint32_t col, Kind kind);
    // Counts cells handed to the sink, the last of them at (row, col).
    Cell &streamed(uint32_t row, uint32_t col, Kind kind, size_t cells)
    {
        m_streamedCount += cells;
        m_streamed.row = row;
        m_streamed.col = uint16_t(col);
        m_streamed.kind = kind;
        m_streamed.number = 0;
        return m_streamed;
    }
    // Hands the cell just pushed to the sink.
    void streamCell();
    std::string_view cellUtf8(const Cell &c, SheetTextRun &run) const;
    // String i as UTF-8, a view into the pools; empty when there is none.
    std::string_view stringUtf8(uint32_t i) const;

    struct Span {
        uint32_t offset;
        uint32_t length; // Utf8Span set: bytes of m_utf8
    };
    static constexpr uint32_t Utf8Span = 0x80000000u;
    std::vector<Cell> m_cells;
    MergedRangeList m_merged;
    std::vector<uint32_t> m_rowStart; // m_rowStart[r] .. m_rowStart[r + 1]: the cells of row r
    std::vector<Span> m_spans;
    QByteArray m_pool; // strings added as text, UTF-8
    QByteArray m_utf8;
    QHash<uint64_t, QString> m_written;
    // Texts of whole-day dates already converted, for the locale they were converted in.
    mutable QHash<int64_t, QString> m_dayTexts;
    mutable QLocale m_dayTextsLocale;
    // The decimal separator of the locale numbers were last converted in.
    mutable QLocale m_numberLocale;
    mutable QChar m_decimal;
    SheetCellSink *m_sink = nullptr;
    std::unique_ptr<SheetTextRun> m_run; // the sink's conversions
    Cell m_streamed{};                   // the last cell handed to the sink
    size_t m_streamedCount = 0;
    uint32_t m_keepStrings = 0; // strings below this index are not a single cell's own
    size_t m_maxCells;
    bool m_date1904 = false;
    bool m_sorted = true;
};
