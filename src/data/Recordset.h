#pragma once

#include <QStringList>
#include <QVariant>
#include <QVector>

// A query result read like an ADO recordset: fields by case-insensitive name, a cursor with EOF.
class Recordset {
public:
    Recordset() = default;

    void assign(const QStringList &names, QVector<QVector<QVariant>> rows);

    bool isOpen() const { return m_open; }
    bool Eof() const { return !m_open || m_position >= m_rows.size(); }
    void MoveNext();
    void MoveFirst();
    int RecordCount() const { return m_open ? int(m_rows.size()) : 0; }
    // 1-based position of the current row, as ADO's AbsolutePosition.
    int AbsolutePosition() const { return m_position + 1; }
    void Close();

    // The current row's value of a field; error 3265 when the field does not exist, 3021 at EOF.
    QVariant Fields(const QString &name) const;
    bool hasField(const QString &name) const { return indexOf(name) >= 0; }
    const QStringList &fieldNames() const { return m_names; }

private:
    int indexOf(const QString &name) const;

    QStringList m_names;
    QVector<QVector<QVariant>> m_rows;
    int m_position = 0;
    bool m_open = false;
};
