#include "SheetGridModel.h"

#include "data/PlanexoError.h"
#include "workbook/common/Prefault.h"

#include <QStringEncoder>
#include <algorithm>
#include <cstring>

namespace {

// Appends text as UTF-8 to buffer and returns where it lies.
SheetGridSpan appendUtf8(QByteArray &buffer, QStringView text)
{
    if (text.isEmpty()) return {0, 0};
    const qsizetype start = buffer.size();
    // Offsets are 32-bit: a sheet with more text than that is refused rather than wrapped.
    if (start + 3 * text.size() > qsizetype(UINT32_MAX))
        throw PlanexoError(1004, QStringLiteral("El libro tiene más texto del que se puede leer"));
    // Grown by an eighth at a time: realloc extends a large block in place, so little room sits
    // unused, where a doubling buffer may leave half of it so.
    const qsizetype need = start + 3 * text.size(); // at most three bytes per UTF-16 unit
    if (need > buffer.capacity()) buffer.reserve(std::max(need, start + start / 8 + 4096));
    buffer.resize(need);
    char *out = buffer.data() + start;
    qsizetype n = 0;
    const char16_t *in = text.utf16();
    // Plain ASCII, most of an invoice, without the encoder.
    while (n < text.size() && in[n] < 0x80) {
        out[n] = char(in[n]);
        ++n;
    }
    if (n < text.size()) {
        QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        char *end = encoder.appendToBuffer(out + n, text.mid(n));
        n = end - out;
    }
    buffer.truncate(start + n);
    return {uint32_t(start), uint32_t(n)};
}

// Whether two texts of n bytes are the same; texts that differ mostly differ at their end (codes,
// numbers), which is compared first, without a call.
bool sameBytes(const char *a, const char *b, size_t n)
{
    if (n < 8) {
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    uint64_t x, y;
    std::memcpy(&x, a + n - 8, 8);
    std::memcpy(&y, b + n - 8, 8);
    if (x != y) return false;
    if (n > 16) return std::memcmp(a, b, n - 8) == 0;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    return x == y;
}

QString textOf(const QByteArray &buffer, SheetGridSpan span)
{
    if (span.length == 0) return QString();
    return QString::fromUtf8(buffer.constData() + span.offset, span.length);
}

} // namespace

void SheetGridSpans::reallocate(size_t capacity)
{
    if (capacity == 0) {
        std::free(m_data);
        m_data = nullptr;
        m_capacity = 0;
        return;
    }
    auto *data = static_cast<SheetGridSpan *>(std::realloc(m_data, capacity * sizeof(SheetGridSpan)));
    if (!data) throw std::bad_alloc();
    m_data = data;
    m_capacity = capacity;
}

void SheetGridSpans::resize(size_t size)
{
    if (size > m_capacity) {
        // A fresh zeroed block: its pages cost nothing until written.
        auto *data = static_cast<SheetGridSpan *>(std::calloc(size, sizeof(SheetGridSpan)));
        if (!data) throw std::bad_alloc();
        if (m_size != 0) std::memcpy(data, m_data, m_size * sizeof(SheetGridSpan));
        std::free(m_data);
        m_data = data;
        m_capacity = size;
    } else if (size > m_size) {
        std::memset(m_data + m_size, 0, (size - m_size) * sizeof(SheetGridSpan));
    }
    m_size = size;
}

void SheetGridSpans::insert(size_t at, size_t count, SheetGridSpan span)
{
    if (m_size + count > m_capacity) reallocate(m_size + count + std::min<size_t>(m_size / 8, 1 << 20));
    std::memmove(m_data + at + count, m_data + at, (m_size - at) * sizeof(SheetGridSpan));
    std::fill(m_data + at, m_data + at + count, span);
    m_size += count;
}

void SheetGridSpans::insert(size_t at, const SheetGridSpan *from, size_t count)
{
    if (m_size + count > m_capacity) reallocate(m_size + count + std::min<size_t>(m_size / 8, 1 << 20));
    std::memmove(m_data + at + count, m_data + at, (m_size - at) * sizeof(SheetGridSpan));
    std::memcpy(m_data + at, from, count * sizeof(SheetGridSpan));
    m_size += count;
}

void SheetGridSpans::erase(size_t at, size_t count)
{
    if (at >= m_size) return;
    count = std::min(count, m_size - at);
    std::memmove(m_data + at, m_data + at + count, (m_size - at - count) * sizeof(SheetGridSpan));
    m_size -= count;
}

SheetGridModel::RowBuffer::RowBuffer(int cols) : m_cols(std::max(cols, 1)) {}

void SheetGridModel::RowBuffer::append(QStringView text)
{
    m_text.truncate(m_used);
    if (m_col == 0) m_rowStart = m_used;
    m_col = m_col + 1 == m_cols ? 0 : m_col + 1;
    SheetGridSpan span = appendUtf8(m_text, text);
    if (span.length != 0) span.length |= m_ownFlag;
    m_used = m_text.size();
    // A column repeats its values (origins, brands, dates): the same text as the row above is
    // kept once.
    const size_t above = m_cells.size() >= size_t(m_cols) ? m_cells.size() - size_t(m_cols) : SIZE_MAX;
    if (above != SIZE_MAX && span.length != 0 && m_cells[above].length == span.length &&
        std::memcmp(m_text.constData() + m_cells[above].offset, m_text.constData() + span.offset,
                    span.length & ~OwnSpan) == 0) {
        m_text.truncate(span.offset);
        m_used = span.offset;
        m_cells.push_back(m_cells[above]);
        return;
    }
    m_cells.push_back(span);
}

void SheetGridModel::RowBuffer::appendCopy(std::string_view text)
{
    if (m_col == 0) {
        m_rowStart = m_used;
        // The rooms about to be written are mapped a few hundred pages at a time.
        m_textMapped.ahead(m_text.data(), size_t(m_used), size_t(m_text.capacity()));
        m_cellsMapped.ahead(reinterpret_cast<char *>(m_cells.begin()), m_cells.size() * sizeof(SheetGridSpan),
                            m_cells.capacity() * sizeof(SheetGridSpan));
    }
    m_col = m_col + 1 == m_cols ? 0 : m_col + 1;
    if (text.empty()) {
        m_cells.push_back({0, 0});
        return;
    }
    if (isShared(text)) {
        m_cells.push_back({uint32_t(reinterpret_cast<uintptr_t>(text.data()) - m_sharedBase), uint32_t(text.size())});
        return;
    }
    const size_t above = m_cells.size() >= size_t(m_cols) ? m_cells.size() - size_t(m_cols) : SIZE_MAX;
    if (above != SIZE_MAX && m_cells[above].length == (uint32_t(text.size()) | m_ownFlag) &&
        sameBytes(m_text.constData() + m_cells[above].offset, text.data(), text.size())) {
        m_cells.push_back(m_cells[above]);
        return;
    }
    const qsizetype start = m_used;
    const qsizetype need = start + qsizetype(text.size());
    if (need > m_text.size()) grow(need);
    std::memcpy(m_text.data() + start, text.data(), text.size());
    m_used = need;
    m_cells.push_back({uint32_t(start), uint32_t(text.size()) | m_ownFlag});
}

void SheetGridModel::RowBuffer::appendRow(const std::string_view *texts, int count)
{
    int i = 0;
    if (m_col == 0 && count > 1 && count <= m_cols) {
        append(texts[i++]); // the row's first cell keeps the rooms ahead mapped
        if (m_cells.capacity() - m_cells.size() >= size_t(count - 1)) {
            SheetGridSpan *out = m_cells.extend(size_t(count - 1));
            for (; i < count; ++i, ++out) {
                const std::string_view text = texts[i];
                if (text.empty())
                    *out = {0, 0};
                else if (isShared(text))
                    *out = {uint32_t(reinterpret_cast<uintptr_t>(text.data()) - m_sharedBase), uint32_t(text.size())};
                else
                    break;
            }
            // What was not written goes through append.
            m_cells.resize(m_cells.size() - size_t(count - i));
            m_col = i == m_cols ? 0 : i;
        }
    }
    for (; i < count; ++i)
        append(texts[i]);
}

void SheetGridModel::RowBuffer::grow(qsizetype need)
{
    if (need > qsizetype(UINT32_MAX))
        throw PlanexoError(1004, QStringLiteral("El libro tiene más texto del que se puede leer"));
    if (need > m_text.capacity()) m_text.reserve(std::max(need, m_used + m_used / 8 + 4096));
    m_text.resize(std::max(need, std::min(m_text.capacity(), need + 65536)));
}

void SheetGridModel::RowBuffer::reserve(size_t cells, qsizetype bytes)
{
    m_cells.reserve(cells);
    m_text.reserve(std::min(bytes, qsizetype(UINT32_MAX)));
}

void SheetGridModel::RowBuffer::share(QByteArray text)
{
    // Lengths must fit beside the flag.
    if (!m_cells.empty() || text.isEmpty() || text.size() >= qsizetype(OwnSpan)) return;
    m_shared = std::move(text);
    m_sharedBase = reinterpret_cast<uintptr_t>(m_shared.constData());
    m_sharedSize = size_t(m_shared.size());
    m_ownFlag = OwnSpan;
}

void SheetGridModel::RowBuffer::settle()
{
    m_text.truncate(m_used);
    if (m_shared.isNull()) return;
    const qsizetype base = m_shared.size();
    if (base + m_text.size() > qsizetype(UINT32_MAX))
        throw PlanexoError(1004, QStringLiteral("El libro tiene más texto del que se puede leer"));
    QByteArray merged = std::move(m_shared);
    m_shared = QByteArray();
    m_sharedBase = 0;
    m_sharedSize = 0;
    m_ownFlag = 0;
    // The shared spans are right as they are; only the own ones move behind the shared text.
    if (!m_text.isEmpty()) {
        merged.append(m_text);
        for (SheetGridSpan &span : m_cells)
            if (span.length & OwnSpan) {
                span.length &= ~OwnSpan;
                span.offset += uint32_t(base);
            }
    }
    m_text = std::move(merged);
    m_used = m_text.size();
}

void SheetGridModel::RowBuffer::Mapped::ahead(char *data, size_t used, size_t capacity)
{
    // Reallocated: what is used was written already.
    if (data != base) {
        base = data;
        mapped = used;
    }
    constexpr size_t Ahead = size_t(1) << 18;
    if (used + Ahead / 2 < mapped) return;
    const size_t to = std::min(capacity, used + Ahead);
    if (to > mapped) {
        workbook::prefault(data + mapped, to - mapped);
        mapped = to;
    }
}

void SheetGridModel::RowBuffer::dropLastRow()
{
    if (m_cells.empty()) return;
    const size_t keep = (m_cells.size() - 1) / size_t(m_cols) * size_t(m_cols);
    m_used = m_rowStart;
    m_text.truncate(m_used);
    m_cells.resize(keep);
    m_col = 0;
}

QString SheetGridModel::RowBuffer::text(int row, int col) const
{
    if (row < 0 || col < 0 || col >= m_cols || size_t(row) * size_t(m_cols) + size_t(col) >= m_cells.size())
        return QString();
    const SheetGridSpan span = m_cells[size_t(row) * size_t(m_cols) + size_t(col)];
    if (m_ownFlag && !(span.length & OwnSpan)) return textOf(m_shared, span);
    return textOf(m_text, {span.offset, span.length & ~m_ownFlag});
}

SheetGridModel::SheetGridModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_cells.resize(size_t(m_rows) * size_t(m_cols));
    m_rowColors = QVector<std::optional<quint32>>(m_rows);
}

SheetGridModel::~SheetGridModel() = default;

int SheetGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int SheetGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant SheetGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_cols) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row(), index.column());
    default:
        return {};
    }
}

Qt::ItemFlags SheetGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    if (index.row() < m_fixedRows) return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QString SheetGridModel::text(int row, int col) const
{
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols) return QString();
    const SheetGridSpan span = m_cells[size_t(row) * size_t(m_cols) + size_t(col)];
    return textOf(m_text, span);
}

void SheetGridModel::store(int row, int col, QStringView text)
{
    // The old bytes stay behind: cells may share them (a column's repeated values).
    m_cells[size_t(row) * size_t(m_cols) + size_t(col)] = appendUtf8(m_text, text);
}

void SheetGridModel::setText(int row, int col, const QString &text)
{
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols) return;
    store(row, col, text);
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i);
}

void SheetGridModel::resize(int rows, int cols)
{
    rows = std::max(rows, 0);
    cols = std::max(cols, 1);
    beginResetModel();
    if (cols != m_cols) {
        SheetGridSpans cells(size_t(rows) * size_t(cols));
        const int keepRows = std::min(rows, m_rows), keepCols = std::min(cols, m_cols);
        for (int r = 0; r < keepRows; ++r)
            for (int c = 0; c < keepCols; ++c)
                cells[size_t(r) * size_t(cols) + size_t(c)] = m_cells[size_t(r) * size_t(m_cols) + size_t(c)];
        m_cells.swap(cells);
    } else {
        m_cells.resize(size_t(rows) * size_t(cols));
    }
    m_rowColors.resize(rows);
    m_rows = rows;
    m_cols = cols;
    // An empty grid holds no text: the buffer starts over.
    if (m_rows == 0) {
        m_text = QByteArray();
        SheetGridSpans().swap(m_cells);
    }
    endResetModel();
}

void SheetGridModel::paste(int row, const QVector<QStringList> &cells)
{
    beginResetModel();
    for (int r = 0; r < cells.size() && row + r < m_rows; ++r) {
        if (row + r < 0) continue;
        const QStringList &source = cells[r];
        for (int c = 0; c < source.size() && c < m_cols; ++c)
            store(row + r, c, source[c]);
    }
    endResetModel();
}

void SheetGridModel::paste(int row, RowBuffer &&cells)
{
    beginResetModel();
    cells.settle();
    // The larger buffer is kept and the other appended to it, so a load moves its texts in.
    qsizetype gridBase = 0, bufferBase = 0;
    // The buffer fills the grid from `row` to its end: its cells are taken, not copied, and only the
    // grid's cells above `row` stay (the others, often never written, are not even read).
    const bool whole = row >= 0 && cells.m_cols == m_cols &&
                       size_t(row) * size_t(m_cols) + cells.m_cells.size() == m_cells.size();
    if (cells.m_text.size() > m_text.size()) {
        gridBase = cells.m_text.size();
        if (gridBase + m_text.size() > qsizetype(UINT32_MAX))
            throw PlanexoError(1004, QStringLiteral("El libro tiene más texto del que se puede leer"));
        cells.m_text.append(m_text);
        m_text = std::move(cells.m_text);
        const size_t kept = whole ? size_t(row) * size_t(m_cols) : m_cells.size();
        for (size_t i = 0; i < kept; ++i)
            if (m_cells[i].length != 0) m_cells[i].offset += uint32_t(gridBase);
    } else {
        bufferBase = m_text.size();
        if (bufferBase + cells.m_text.size() > qsizetype(UINT32_MAX))
            throw PlanexoError(1004, QStringLiteral("El libro tiene más texto del que se puede leer"));
        m_text.append(cells.m_text);
    }
    cells.m_text = QByteArray();
    if (whole) {
        SheetGridSpans moved = std::move(cells.m_cells);
        if (bufferBase != 0)
            for (SheetGridSpan &span : moved)
                if (span.length != 0) span.offset += uint32_t(bufferBase);
        moved.insert(0, m_cells.begin(), size_t(row) * size_t(m_cols));
        m_cells.swap(moved);
        m_cells.squeeze();
    } else {
        for (int r = 0; r < cells.rows() && row + r < m_rows; ++r) {
            if (row + r < 0) continue;
            for (int c = 0; c < cells.m_cols && c < m_cols; ++c) {
                SheetGridSpan span = cells.m_cells[size_t(r) * size_t(cells.m_cols) + size_t(c)];
                if (span.length != 0) span.offset += uint32_t(bufferBase);
                m_cells[size_t(row + r) * size_t(m_cols) + size_t(c)] = span;
            }
        }
    }
    SheetGridSpans().swap(cells.m_cells);
    // Room the buffer grew for and did not use goes back.
    m_text.squeeze();
    endResetModel();
}

void SheetGridModel::insertEmptyRow(int row)
{
    row = std::clamp(row, 0, m_rows);
    beginInsertRows(QModelIndex(), row, row);
    m_cells.insert(size_t(row) * size_t(m_cols), size_t(m_cols), SheetGridSpan{0, 0});
    m_rowColors.insert(row, std::nullopt);
    ++m_rows;
    endInsertRows();
}

void SheetGridModel::insertRowTexts(int row, const QStringList &texts)
{
    row = std::clamp(row, 0, m_rows);
    beginInsertRows(QModelIndex(), row, row);
    m_cells.insert(size_t(row) * size_t(m_cols), size_t(m_cols), SheetGridSpan{0, 0});
    m_rowColors.insert(row, std::nullopt);
    ++m_rows;
    for (int c = 0; c < m_cols && c < texts.size(); ++c)
        store(row, c, texts[c]);
    endInsertRows();
}

void SheetGridModel::removeGridRows(int row, int count)
{
    if (row < 0 || count <= 0 || row >= m_rows) return;
    count = std::min(count, m_rows - row);
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_cells.erase(size_t(row) * size_t(m_cols), size_t(count) * size_t(m_cols));
    m_rowColors.remove(row, count);
    m_rows -= count;
    endRemoveRows();
}

void SheetGridModel::setFixedRows(int rows)
{
    m_fixedRows = rows;
    if (m_rows > 0) emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
}

std::optional<quint32> SheetGridModel::rowForeground(int row) const
{
    return row >= 0 && row < m_rows ? m_rowColors[row] : std::nullopt;
}

void SheetGridModel::setRowForeground(int row, quint32 rgb)
{
    if (row < 0 || row >= m_rows) return;
    m_rowColors[row] = rgb;
    emit dataChanged(index(row, 0), index(row, m_cols - 1), {Qt::ForegroundRole});
}
