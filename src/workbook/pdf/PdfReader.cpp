#include "workbook/pdf/PdfReader.h"

#include "workbook/common/WorkbookError.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/pdf/PdfProtocol.h"
#include "workbook/pdf/PdfTable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QProcess>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define PLANEXO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLANEXO_ASAN 1
#endif
#endif

namespace pdf {

namespace {

// More output than this is no invoice's text.
constexpr qint64 MaxOutputBytes = qint64(256) << 20;
// The helper's exit code when it ran out of memory (not 3, which abort() gives on Windows).
constexpr int HelperOutOfMemory = 86;

using workbook::fail;

QMutex &mutex()
{
    static QMutex m;
    return m;
}

HelperLimits &currentLimits()
{
    static HelperLimits l;
    return l;
}

std::function<void(int, int)> &listener()
{
    static std::function<void(int, int)> l;
    return l;
}

// The last file read, kept for the sheet list and the sheet that follow it.
struct Cached {
    QString path;
    qint64 size = -1;
    QDateTime modified;
    std::shared_ptr<const Table> table;
};

Cached &cache()
{
    static Cached c;
    return c;
}

QByteArray runHelper(const QString &path)
{
    const QString helper = helperPath();
    if (!QFileInfo(helper).isExecutable())
        fail(QStringLiteral("No se encuentra el lector de PDF %1").arg(QDir::toNativeSeparators(helper)));
    const HelperLimits lim = limits();
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_UNIX
    const qint64 memory = lim.memoryBytes;
    process.setChildProcessModifier([memory] {
#ifndef PLANEXO_ASAN
        const rlimit as{rlim_t(memory), rlim_t(memory)};
        setrlimit(RLIMIT_AS, &as);
#else
        (void)memory;
#endif
        const rlimit core{0, 0};
        setrlimit(RLIMIT_CORE, &core);
        // Ten minutes of processor time at most, whatever it prints.
        const rlimit cpu{600, 600};
        setrlimit(RLIMIT_CPU, &cpu);
    });
#endif
#ifdef Q_OS_WIN
    // The helper caps its own memory there (a job object).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PLANEXO_PDFTEXT_MEMORY"), QString::number(lim.memoryBytes));
    process.setProcessEnvironment(environment);
#endif
    process.start(helper, {QDir::toNativeSeparators(path)});
    if (!process.waitForStarted(lim.pageTimeoutMs))
        fail(QStringLiteral("No se puede iniciar el lector de PDF %1").arg(QDir::toNativeSeparators(helper)));
    QByteArray out, err;
    int pages = 0, page = 0;
    for (;;) {
        const bool ready = process.waitForReadyRead(lim.pageTimeoutMs);
        const QByteArray chunk = process.readAllStandardOutput();
        err += process.readAllStandardError();
        if (err.size() > 4096) err = err.right(4096);
        if (!chunk.isEmpty()) {
            // Progress from the page lines as they come.
            qsizetype from = out.size() > 0 ? out.size() - 1 : 0;
            out += chunk;
            if (pages == 0 && out.startsWith("planexo-pdftext 1\npages ")) {
                const qsizetype nl = out.indexOf('\n', 24);
                if (nl > 0) pages = out.mid(24, nl - 24).toInt();
            }
            for (qsizetype at = out.indexOf("\npage ", from); at >= 0; at = out.indexOf("\npage ", at + 6))
                ++page;
            if (pages > 1 && listener()) listener()(page, pages);
        }
        if (out.size() > MaxOutputBytes) {
            process.kill();
            process.waitForFinished();
            fail(QStringLiteral("El PDF no se pudo leer: tiene más texto del que se lee de una factura"));
        }
        if (!ready && chunk.isEmpty()) {
            if (process.state() == QProcess::NotRunning) break;
            process.kill();
            process.waitForFinished();
            fail(QStringLiteral("El PDF no se pudo leer: el lector de PDF no respondió en %1 segundos")
                     .arg((lim.pageTimeoutMs + 999) / 1000));
        }
    }
    process.waitForFinished();
    out += process.readAllStandardOutput();
    err += process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (process.exitCode() == HelperOutOfMemory || err.contains("memory") || err.contains("bad_alloc"))
            fail(QStringLiteral("El PDF no se pudo leer: el lector de PDF superó el límite de memoria"));
        fail(QStringLiteral("El PDF no se pudo leer: el lector de PDF terminó de forma inesperada"));
    }
    return out;
}

std::shared_ptr<const Table> tableOf(const QString &path)
{
    const QFileInfo info(path);
    {
        QMutexLocker lock(&mutex());
        const Cached &c = cache();
        if (c.table && c.path == info.absoluteFilePath() && c.size == info.size() &&
            c.modified == info.lastModified())
            return c.table;
    }
    const QByteArray output = runHelper(path);
    HelperOutput parsed;
    try {
        parsed = parseHelperOutput(output);
    } catch (const ProtocolError &e) {
        fail(QStringLiteral("El PDF no se pudo leer: el lector de PDF dio una respuesta no válida (%1)")
                 .arg(QString::fromUtf8(e.what())));
    }
    if (parsed.kind == HelperOutput::Kind::Locked) workbook::passwordProtected();
    if (parsed.kind == HelperOutput::Kind::Damaged || parsed.pages.empty())
        workbook::damaged(QStringLiteral("no es un PDF válido"));
    bool text = false;
    for (const Page &p : parsed.pages)
        text = text || !p.words.empty();
    if (!text) fail(QStringLiteral("El PDF no tiene texto: es una imagen escaneada"));
    auto table = std::make_shared<const Table>(buildTable(parsed.pages));
    QMutexLocker lock(&mutex());
    cache() = Cached{info.absoluteFilePath(), info.size(), info.lastModified(), table};
    return table;
}

int pageCount(const Table &table)
{
    return int(table.pageStart.size()) - 1;
}

} // namespace

bool isPdf(const QByteArray &head)
{
    return head.startsWith("%PDF-");
}

HelperLimits limits()
{
    QMutexLocker lock(&mutex());
    return currentLimits();
}

void setLimits(const HelperLimits &l)
{
    QMutexLocker lock(&mutex());
    currentLimits() = l;
}

void setProgressListener(std::function<void(int, int)> l)
{
    listener() = std::move(l);
}

QString helperPath()
{
    const QString named = qEnvironmentVariable("PLANEXO_PDFTEXT");
    if (!named.isEmpty()) return named;
    QString folder = QCoreApplication::applicationDirPath();
    if (folder.isEmpty()) folder = QDir::currentPath();
#ifdef Q_OS_WIN
    return QDir(folder).filePath(QStringLiteral("planexo-pdftext.exe"));
#else
    return QDir(folder).filePath(QStringLiteral("planexo-pdftext"));
#endif
}

WorkbookSheetList sheets(const QString &path)
{
    const int pages = pageCount(*tableOf(path));
    WorkbookSheetList list;
    if (pages > 1) list.append({QStringLiteral("Páginas 1-%1").arg(pages), false});
    for (int p = 1; p <= pages; ++p)
        list.append({QStringLiteral("Página %1").arg(p), false});
    return list;
}

void read(const QString &path, WorkbookSheet &sheet, int sheetIndex)
{
    const std::shared_ptr<const Table> table = tableOf(path);
    const int pages = pageCount(*table);
    const int sheetsCount = pages > 1 ? pages + 1 : pages;
    if (sheetIndex < 0 || sheetIndex >= sheetsCount)
        fail(QStringLiteral("El libro no tiene la hoja %1").arg(sheetIndex + 1));
    const int page = pages > 1 ? sheetIndex - 1 : 0; // -1: every page
    const size_t first = page < 0 ? 0 : table->pageStart[size_t(page)];
    const size_t last = page < 0 ? table->rows.size() : table->pageStart[size_t(page) + 1];
    const QString point = QLocale().decimalPoint();
    const char decimal = decimalSeparator(*table, point == QLatin1String(",") ? ',' : '.');
    size_t cells = 0;
    for (size_t r = first; r < last; ++r)
        for (const std::string &text : table->rows[r])
            cells += text.empty() ? 0 : 1;
    sheet.reserveCells(cells);
    for (size_t r = first; r < last; ++r) {
        const auto &row = table->rows[r];
        const uint32_t sheetRow = uint32_t(r - first + 1);
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string &text = row[c];
            if (text.empty()) continue;
            double value = 0;
            if (numberOf(text, decimal, value))
                sheet.addNumber(sheetRow, uint32_t(c + 1), value, false);
            else
                sheet.addStreamedText(sheetRow, uint32_t(c + 1), text);
        }
    }
    sheet.finish();
}

} // namespace pdf

bool PdfReader::canRead(WorkbookFile &file) const
{
    return pdf::isPdf(file.head());
}

WorkbookSheetList PdfReader::sheets(WorkbookFile &file) const
{
    return pdf::sheets(file.path());
}

void PdfReader::read(WorkbookFile &file, int index, WorkbookSheet &sheet) const
{
    pdf::read(file.path(), sheet, index);
}
