#include "workbook/common/ZipPackage.h"

#include "workbook/common/Prefault.h"
#include "data/PlanexoError.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <zip.h>

namespace workbook {
namespace {

constexpr long WorkbookError = 1004;
// A piece is about this size: small enough to stay in the cache.
constexpr int64_t PieceBytes = int64_t(1) << 18;

[[noreturn]] void fail(const QString &description)
{
    throw PlanexoError(WorkbookError, description);
}

} // namespace

void ZipPackage::tooLarge() const
{
    fail(QStringLiteral("El libro descomprimido supera %1 MiB, el máximo que se lee").arg(m_limit >> 20));
}

QByteArray zipFileName(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

ZipPackage::ZipPackage(const QString &path, int64_t maxBytes) : m_limit(maxBytes), m_budget(maxBytes)
{
    int error = 0;
    m_zip = zip_open(zipFileName(path).constData(), ZIP_RDONLY, &error);
    if (!m_zip) {
        if (error == ZIP_ER_NOENT) fail(QStringLiteral("No se encuentra el archivo %1").arg(path));
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
            fail(QStringLiteral("No se puede leer el archivo %1").arg(path));
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
    const int64_t at = zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    if (at >= 0) return at;
    QString windows = name;
    windows.replace('/', '\\');
    return windows == name
               ? -1
               : zip_name_locate(m_zip, windows.toUtf8().constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
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
        fail(QStringLiteral("El libro está protegido con contraseña"));
    fail(QStringLiteral("El libro está dañado: no se puede descomprimir la parte %1").arg(name));
}

QByteArray ZipPackage::read(int64_t index, const QString &name)
{
    Pieces pieces(*this, index, name, QByteArray());
    QByteArray out;
    for (std::string_view piece = pieces.next(); !piece.empty(); piece = pieces.next())
        out.append(piece.data(), qsizetype(piece.size()));
    return out;
}

ZipPackage::Pieces::Pieces(ZipPackage &package, int64_t index, const QString &name, QByteArray marker)
    : m_package(package), m_name(name), m_marker(std::move(marker))
{
    m_file = zip_fopen_index(package.m_zip, zip_uint64_t(index), 0);
    if (!m_file) package.cannotInflate(name);
    // A whole read is sized by the declared size; pieces by their own size.
    const int64_t declared = package.declaredSize(index);
    if (declared > package.m_budget) package.tooLarge();
    const int64_t room = m_marker.isEmpty() ? declared + 65536 : PieceBytes + PieceBytes / 2 + 65536;
    m_buffer.resize(qsizetype(room));
    prefault(m_buffer.data(), size_t(std::min(room, m_marker.isEmpty() ? declared : PieceBytes)));
}

ZipPackage::Pieces::~Pieces()
{
    if (m_file) zip_fclose(m_file);
}

void ZipPackage::Pieces::fill()
{
    int64_t target = std::max(PieceBytes, m_used * 2);
    for (;;) {
        while (!m_end && (m_marker.isEmpty() || m_used < target)) {
            if (m_buffer.size() < m_used + 65536) m_buffer.resize(qsizetype(m_used + 65536 + m_used / 2));
            const zip_int64_t n =
                zip_fread(m_file, m_buffer.data() + m_used, zip_uint64_t(m_buffer.size() - m_used));
            if (n < 0)
                fail(
                    QStringLiteral("El libro está dañado: no se puede descomprimir la parte %1").arg(m_name));
            if (n == 0) m_end = true;
            m_package.m_budget -= n;
            if (m_package.m_budget < 0) m_package.tooLarge();
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
