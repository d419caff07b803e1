#include "workbook/common/ZipPackage.h"

#include "workbook/common/Prefault.h"
#include "workbook/common/WorkbookError.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <zip.h>

namespace workbook {
namespace {

// A piece is about this size: small enough to stay in the cache.
constexpr int64_t PieceBytes = int64_t(1) << 18;

[[noreturn]] void cannotDecompress(const QString &name)
{
    damaged(QStringLiteral("no se puede descomprimir la parte %1").arg(name));
}

} // namespace

void ZipPackage::tooLarge() const
{
    workbook::tooLarge(m_limit);
}

QByteArray zipFileName(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

ZipPackage::ZipPackage(const QString &path)
{
    int error = 0;
    m_zip = zip_open(zipFileName(path).constData(), ZIP_RDONLY, &error);
    if (!m_zip) {
        if (error == ZIP_ER_NOENT) fail(QStringLiteral("No se encuentra el archivo %1").arg(path));
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ) cannotRead(path);
        fail(QStringLiteral("El libro está dañado o incompleto: no es un paquete zip válido"));
    }
}

ZipPackage::~ZipPackage()
{
    zip_discard(m_zip);
}

int64_t ZipPackage::locate(const QString &name) const
{
    if (name.isEmpty()) return -1;
    const int64_t index = zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    if (index >= 0) return index;
    // Names written with backslashes (xl\workbook.xml), which Excel reads, are looked up with
    // either separator.
    if (!m_backslashesIndexed) {
        m_backslashesIndexed = true;
        const zip_int64_t entries = zip_get_num_entries(m_zip, 0);
        for (zip_int64_t i = 0; i < entries; ++i) {
            const char *entry = zip_get_name(m_zip, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
            if (!entry || !std::strchr(entry, '\\')) continue;
            QString key = QString::fromUtf8(entry).toLower();
            key.replace(QLatin1Char('\\'), QLatin1Char('/'));
            if (!m_backslashNames.contains(key)) m_backslashNames.insert(key, i);
        }
    }
    if (m_backslashNames.isEmpty()) return -1;
    QString key = name.toLower();
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return m_backslashNames.value(key, -1);
}

int64_t ZipPackage::declaredSize(int64_t index) const
{
    zip_stat_t st;
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
        return int64_t(std::min<zip_uint64_t>(st.size, zip_uint64_t(m_limit)));
    return 0;
}

void ZipPackage::cannotInflate(const QString &name) const
{
    const int code = zip_error_code_zip(zip_get_error(m_zip));
    if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_WRONGPASSWD)
        passwordProtected();
    cannotDecompress(name);
}

QByteArray ZipPackage::peek(int64_t index, int bytes)
{
    QByteArray out(bytes, '\0');
    zip_file_t *entry = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!entry) return {};
    const zip_int64_t n = zip_fread(entry, out.data(), zip_uint64_t(bytes));
    zip_fclose(entry);
    out.truncate(n < 0 ? 0 : qsizetype(n));
    return out;
}

ZipPackage::Stream::Stream(ZipPackage &package, int64_t index, const QString &name)
    : m_package(package), m_name(name)
{
    m_file = zip_fopen_index(package.m_zip, zip_uint64_t(index), 0);
    if (!m_file) package.cannotInflate(name);
}

ZipPackage::Stream::~Stream()
{
    zip_fclose(m_file);
}

int64_t ZipPackage::Stream::read(char *out, int64_t n)
{
    const zip_int64_t got = zip_fread(m_file, out, zip_uint64_t(n));
    if (got < 0) cannotDecompress(m_name);
    m_package.m_budget -= got;
    if (m_package.m_budget < 0) m_package.tooLarge();
    return got;
}

QByteArray ZipPackage::read(int64_t index, const QString &name)
{
    Stream stream(*this, index, name);
    // The declared size only sizes the buffer; the budget counts what really comes out.
    const int64_t declared = declaredSize(index);
    if (declared > m_budget) tooLarge();
    QByteArray data;
    data.resize(qsizetype(declared) + 65536);
    prefault(data.data(), size_t(declared));
    // Decompressed straight into the buffer, which grows when a part holds more than it declared.
    qsizetype used = 0;
    for (;;) {
        if (data.size() - used < 65536) data.resize(std::max<qsizetype>(data.size() * 2, used + 65536));
        const int64_t n = stream.read(data.data() + used, data.size() - used);
        if (n == 0) break;
        used += qsizetype(n);
    }
    data.truncate(used);
    return data;
}

ZipPackage::Pieces::Pieces(ZipPackage &package, int64_t index, const QString &name, QByteArray marker)
    : m_stream(package, index, name), m_marker(std::move(marker))
{
    if (package.declaredSize(index) > package.m_budget) package.tooLarge();
    const int64_t room = PieceBytes + PieceBytes / 2 + 65536;
    m_buffer.resize(qsizetype(room));
    prefault(m_buffer.data(), size_t(PieceBytes));
}

void ZipPackage::Pieces::fill()
{
    int64_t target = std::max(PieceBytes, m_used * 2);
    for (;;) {
        while (!m_end && m_used < target) {
            if (m_buffer.size() < m_used + 65536) m_buffer.resize(qsizetype(m_used + 65536 + m_used / 2));
            const int64_t n = m_stream.read(m_buffer.data() + m_used, m_buffer.size() - m_used);
            if (n == 0) m_end = true;
            m_used += n;
        }
        if (m_end) {
            m_cut = m_used;
            return;
        }
        const std::string_view held(m_buffer.constData(), size_t(m_used));
        const size_t at = held.rfind(std::string_view(m_marker.constData(), size_t(m_marker.size())));
        if (at != std::string_view::npos) {
            m_cut = int64_t(at) + m_marker.size();
            return;
        }
        target *= 2; // a marker further away than a piece
    }
}

std::string_view ZipPackage::Pieces::next()
{
    if (m_started) {
        const int64_t rest = m_used - m_cut;
        std::memmove(m_buffer.data(), m_buffer.constData() + m_cut, size_t(rest));
        m_used = rest;
        m_cut = 0;
    }
    m_started = true;
    if (m_end && m_used == 0) return {};
    fill();
    return std::string_view(m_buffer.constData(), size_t(m_cut));
}

} // namespace workbook
