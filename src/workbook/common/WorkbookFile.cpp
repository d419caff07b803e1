#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookReader.h"
#include "workbook/common/ZipPackage.h"

#include <QFile>
#include <QFileInfo>

WorkbookFile::WorkbookFile(const QString &path) : m_path(path)
{
    using workbook::fail;
    const QFileInfo info(path);
    if (!info.exists()) fail(QStringLiteral("No se encuentra el archivo %1").arg(path));
    if (info.isDir()) fail(QStringLiteral("%1 es una carpeta, no un libro de Excel").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) workbook::cannotRead(path);
    m_size = file.size();
    // Enough for every reader's look at the start (a text table's sample is read apart).
    m_head = file.read(4096);
    if (m_head.isEmpty()) fail(QStringLiteral("El archivo %1 está vacío").arg(path));
}

WorkbookFile::~WorkbookFile() = default;

bool WorkbookFile::looksLikeZip() const
{
    return m_head.startsWith("PK\x03\x04") || m_head.startsWith("PK\x05\x06");
}

workbook::ZipPackage &WorkbookFile::zip()
{
    if (!m_zip) m_zip = std::make_unique<workbook::ZipPackage>(m_path);
    return *m_zip;
}

QByteArray WorkbookFile::readAll(int64_t maxBytes, const QString &tooLargeText) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) workbook::cannotRead(m_path);
    const qint64 size = file.size();
    if (size > maxBytes) workbook::fail(tooLargeText.arg(maxBytes >> 20));
    // Room beyond the bytes: a grid that keeps a text file's bytes appends its own texts without a copy.
    QByteArray bytes;
    bytes.reserve(qsizetype(size) + 64 * 1024);
    bytes.resize(qsizetype(size));
    const qint64 got = size > 0 ? file.read(bytes.data(), size) : 0;
    if (got < 0) workbook::cannotRead(m_path);
    bytes.truncate(qsizetype(got));
    // A file that grew since its size was asked is read to its end.
    if (got == size && !file.atEnd()) bytes += file.readAll();
    return bytes;
}
