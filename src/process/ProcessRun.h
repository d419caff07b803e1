#pragma once

#include "data/Recordset.h"
#include "data/Statement.h"

#include <QString>
#include <QVariantList>
#include <array>
#include <functional>
#include <optional>

class DataConnection;
class Progress;
class SheetGridModel;
struct SharedState;

namespace oCHKX {
class clPRINC;
}

// The twelve mapping-row fields that the process recognises, in recognition order.
enum class Field {
    CodArticulo,
    Marca,
    DescrModelo,
    DescrMaria,
    KgNeto,
    KgBruto,
    Cantidad,
    PUnitario,
    PTotal,
    PaNcm,
    Unidad,
    Origen,
};
constexpr int kFieldCount = 12;

// For each field the grid column whose mapping-row cell carries its label, or -1.
class ColumnMap {
public:
    ColumnMap() { m_columns.fill(-1); }

    static QString label(Field field);
    // Reads the mapping row (row 1): each column whose text equals a label exactly takes that field;
    // a later column with the same label replaces an earlier one.
    static ColumnMap recognise(const SheetGridModel &grid);

    int column(Field field) const { return m_columns[size_t(field)]; }
    bool has(Field field) const { return column(field) >= 0; }
    void set(Field field, int column) { m_columns[size_t(field)] = column; }

private:
    std::array<int, kFieldCount> m_columns;
};

// Step numbers shown in the process's error report after "]:: ", one per step that can fail.
namespace step {
constexpr int ShowBar = 10;
constexpr int CreateChecker = 20;
constexpr int Preconditions = 30;
constexpr int RecogniseColumns = 40;
// Stage 1
constexpr int DeleteRows = 100;
constexpr int Stage1Start = 110;
constexpr int RowValues = 120;     // texts, weights and quantity of a row
constexpr int UnitPrice = 130;     // total "00.00" divided by quantity
constexpr int OriginCountry = 140; // ObtenerCodigoPais and the relation dialog
constexpr int InsertRow = 150;
// Stage 2
constexpr int Stage2Start = 200;
constexpr int ReadArticles = 210;
constexpr int CatalogueQuery = 220;
constexpr int NomenclatorQuery = 230;
constexpr int UpdateArticle = 250;
// Stage 3
constexpr int Stage3Start = 300;
constexpr int OriginCodes = 310;
constexpr int DeclaredUnits = 320;
constexpr int GoodsState = 330;
// Stage 4
constexpr int Stage4Start = 400;
constexpr int ReadFound = 410;
constexpr int ValidateSuffixes = 420;
constexpr int GradeArticle = 430;
constexpr int StatisticalQuantity = 440;
constexpr int Finish = 500;
} // namespace step

// What the four stages share during one run: the components, the progress display, the column
// map, the statement buffer shown by the error report and the step being run.
struct ProcessRun {
    SharedState &state;
    Progress &progress;
    oCHKX::clPRINC &checker;
    ColumnMap columns;
    QString buffer;
    int step = 0;
    // Sees every statement the stages run, before it runs.
    std::function<void(const QString &)> observer;
    // The buffer as a statement, rendered only for the error report.
    std::optional<Statement> bufferStatement;

    void setBuffer(const QString &text)
    {
        buffer = text;
        bufferStatement.reset();
    }
    void setBuffer(const Statement &statement) { bufferStatement = statement; }
    QString bufferText() const { return bufferStatement ? bufferStatement->literal() : buffer; }

    bool query(DataConnection &connection, const QString &statement, Recordset &rs);
    long long execute(DataConnection &connection, const QString &statement);
    // The same for statements run many times with other values.
    bool query(DataConnection &connection, const Statement &statement, Recordset &rs);
    long long execute(DataConnection &connection, const Statement &statement);
    // A query's rows by column position, without a recordset, for the stages' long reads.
    QVector<QVector<QVariant>> rows(DataConnection &connection, const QString &statement);
    // A query answered from an earlier set-wise read: the observer sees it as if it ran. The
    // statement is made only when there is an observer.
    void announce(const std::function<Statement()> &statement)
    {
        if (observer) observer(statement().literal());
    }
};

// Keeps a connection's statements in one transaction while it lives: writes are batched and reads
// share one snapshot and lock. It commits also when an error leaves the scope, so every row written
// before a failure stays.
class Batch {
public:
    explicit Batch(DataConnection &connection);
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;
    void commit();

private:
    DataConnection &m_connection;
    bool m_open = true;
};
