#pragma once

#include "workbook/common/SheetInfo.h"

#include <QByteArray>
#include <QString>
#include <memory>

class WorkbookSheet;
namespace workbook {
class ZipPackage;
}

// The file a workbook is read from, opened once for every reader that looks at it: telling its
// kind, listing its sheets, reading a sheet and reading it again when streaming falls back.
class WorkbookFile {
  public:
    // Fails (PlanexoError 1004) when the path is missing, a folder, unreadable or an empty file.
    explicit WorkbookFile(const QString &path);
    ~WorkbookFile();
    WorkbookFile(const WorkbookFile &) = delete;
    WorkbookFile &operator=(const WorkbookFile &) = delete;

    const QString &path() const { return m_path; }
    // The file's first bytes: at least 512 when it has them.
    const QByteArray &head() const { return m_head; }
    qint64 size() const { return m_size; }
    // Whether the file starts as a zip package does.
    bool looksLikeZip() const;
    // The zip package, opened on the first call; throws the damaged-file error when the file is no
    // zip package.
    workbook::ZipPackage &zip();
    // The whole file, read now and handed over (a reader may lend it to the grid or pad it in
    // place); a file larger than maxBytes fails with tooLargeText (its %1 the cap in MiB) unread.
    QByteArray readAll(int64_t maxBytes, const QString &tooLargeText) const;

  private:
    QString m_path;
    QByteArray m_head;
    qint64 m_size = 0;
    std::unique_ptr<workbook::ZipPackage> m_zip;
};

// One workbook format: told by the file's content, its sheets listed, a sheet read into the sink.
// Failures throw PlanexoError 1004 (no source) with a Spanish description of what is wrong.
class WorkbookReader {
  public:
    virtual ~WorkbookReader() = default;
    // Whether this reader reads the file, told by its content (never by its name).
    virtual bool canRead(WorkbookFile &file) const = 0;
    // The workbook's worksheets in order: names, hidden or not.
    virtual WorkbookSheetList sheets(WorkbookFile &file) const = 0;
    // The cells (handed to the sheet's sink as they are read, or kept) and the merged ranges of
    // the worksheet of this index from 0; finishes the sheet.
    virtual void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const = 0;
};
