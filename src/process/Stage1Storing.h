#pragma once

#include <QString>

class CountryResolver;
class Statement;
class SheetGridModel;
struct ProcessRun;

// Stage 1: replaces the shipment's article rows with the grid's data rows (row 2 on, blank rows
// included), numbered from 1.
class Stage1Storing {
public:
    Stage1Storing(ProcessRun &run, CountryResolver &countries) : m_run(run), m_countries(countries) {}

    void run(const SheetGridModel &grid);

    // The insert up to and including the shipment number, shared by every row.
    static QString insertPrefix(const QString &shipment);
    // Appends the values of one grid row after the prefix, from the row order to the bracket.
    void appendRow(Statement &statement, const SheetGridModel &grid, int row, int order);
    // Total formatted "00.00" divided by the quantity, formatted "00.0000"; errors 11 and 13.
    static QString unitPrice(const QString &totalCell, const QString &quantityCell);
    static QString unitPriceOf(const QString &formattedTotal, const QString &quantityCell);

private:
    QString cell(const SheetGridModel &grid, int row, int field) const;

    ProcessRun &m_run;
    CountryResolver &m_countries;
};
