#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

struct zip;
struct zip_file;

namespace workbook {

// The path as libzip's zip_open takes it: the local 8-bit encoding, except on Windows, where libzip
// takes UTF-8 (and opens with the wide-character API), so that no character outside the ANSI code
// page is lost.
QByteArray zipFileName(const QString &path);

// A zip package opened read-only, with a budget of bytes that may still be decompressed from it
// (against zip bombs). Failures throw PlanexoError 1004 (no source) with Spanish descriptions.
class ZipPackage {
  public:
    // At most this many bytes are decompressed from one package in all.
    static constexpr int64_t MaxUncompressedBytes = int64_t(256) << 20;

    // maxBytes: the budget, MaxUncompressedBytes unless a reader that holds only pieces of its
    // parts allows more.
    explicit ZipPackage(const QString &path, int64_t maxBytes = MaxUncompressedBytes);
    ~ZipPackage();
    ZipPackage(const ZipPackage &) = delete;
    ZipPackage &operator=(const ZipPackage &) = delete;

    // Index of an entry by name (without case; a name written with backslashes is found too), or -1.
    int64_t locate(const QString &name) const;
    // Decompresses a whole entry, spending the budget.
    QByteArray read(int64_t index, const QString &name);
    // The entry's declared uncompressed size, 0 when unknown.
    int64_t declaredSize(int64_t index) const;
    // Bytes that may still be decompressed; a part read again after a failed first read gets back
    // what that read spent.
    int64_t &budget() { return m_budget; }

    // An entry decompressed piece by piece, each piece ending after the last occurrence of a
    // marker (an end tag) in what has been read, so that a part far larger than memory should hold
    // is scanned in cache-sized steps.
    class Pieces {
      public:
        Pieces(ZipPackage &package, int64_t index, const QString &name, QByteArray marker);
        ~Pieces();
        Pieces(const Pieces &) = delete;
        Pieces &operator=(const Pieces &) = delete;
        // The next piece, valid until the following call; empty when the entry is used up.
        std::string_view next();
        bool atEnd() const { return m_end && m_cut == m_used; }

      private:
        void fill();
        ZipPackage &m_package;
        zip_file *m_file = nullptr;
        QString m_name;
        QByteArray m_marker;
        QByteArray m_buffer;
        int64_t m_used = 0, m_cut = 0;
        bool m_end = false;
        bool m_started = false;
    };

  private:
    [[noreturn]] void cannotInflate(const QString &name) const;
    [[noreturn]] void tooLarge() const;
    zip *m_zip = nullptr;
    int64_t m_limit;
    int64_t m_budget;
};

} // namespace workbook
