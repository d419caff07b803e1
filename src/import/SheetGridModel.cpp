#include "SheetGridModel.h"


SheetGridModel::SheetGridModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_cells = QVector<QStringList>(m_rows, QStringList(QVector<QString>(m_cols)));
    m_rowColors = QVector<std::optional<quint32>>(m_rows);
}

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
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_cols)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return m_cells[index.row()][index.column()];
    default:
        return {};
    }
}

Qt::ItemFlags SheetGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.row() < m_fixedRows)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QString SheetGridModel::text(int row, int col) const
{
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols)
        return QString();
    return m_cells[row][col];
}

void SheetGridModel::setText(int row, int col, const QString &text)
{
    if (row < 0 || col < 0 || row >= m_rows || col >= m_cols)
        return;
    m_cells[row][col] = text;
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i);
}

void SheetGridModel::resize(int rows, int cols)
{
    rows = std::max(rows, 0);
    cols = std::max(cols, 1);
    beginResetModel();
    m_cells.resize(rows);
    m_rowColors.resize(rows);
    for (QStringList &row : m_cells) {
        while (row.size() < cols)
            row.append(QString());
        while (row.size() > cols)
            row.removeLast();
    }
    m_rows = rows;
    m_cols = cols;
    endResetModel();
}

void SheetGridModel::paste(int row, const QVector<QStringList> &cells)
{
    beginResetModel();
    for (int r = 0; r < cells.size() && row + r < m_rows; ++r) {
        const QStringList &source = cells[r];
        QStringList &target = m_cells[row + r];
        for (int c = 0; c < source.size() && c < m_cols; ++c)
            target[c] = source[c];
    }
    endResetModel();
}

void SheetGridModel::insertEmptyRow(int row)
{
    row = std::clamp(row, 0, m_rows);
    beginInsertRows(QModelIndex(), row, row);
    m_cells.insert(row, QStringList(QVector<QString>(m_cols)));
    m_rowColors.insert(row, std::nullopt);
    ++m_rows;
    endInsertRows();
}

void SheetGridModel::setFixedRows(int rows)
{
    m_fixedRows = rows;
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
}

std::optional<quint32> SheetGridModel::rowForeground(int row) const
{
    return row >= 0 && row < m_rows ? m_rowColors[row] : std::nullopt;
}

void SheetGridModel::setRowForeground(int row, quint32 rgb)
{
    if (row < 0 || row >= m_rows)
        return;
    m_rowColors[row] = rgb;
    emit dataChanged(index(row, 0), index(row, m_cols - 1), {Qt::ForegroundRole});
}
