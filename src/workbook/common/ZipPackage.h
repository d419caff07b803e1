#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <string_view>

struct zip;
struct zip_file;

namespace workbook {

// The path as libzip's zip_open takes it: the local 8-bit encoding, except on Windows, where libzip
// takes UTF-8 (and opens with the wide-character API), so that no character outside the ANSI code
// page is lost.
QByteArray zipFileName(const QString &path);

// A zip package opened read-only, with a budget of bytes that may still be decompressed from it
// (against zip bombs). Every reader of a zip package and the file-kind detection read it through
// this class. Failures throw PlanexoError 1004 (no source) with Spanish descriptions.
class ZipPackage {
  public:
    // At most this many bytes are decompressed from one package in all, unless a reader that holds
    // only pieces of its parts allows more.
    static constexpr int64_t MaxUncompressedBytes = int64_t(256) << 20;

    // Fails when the file is missing, unreadable or no zip package.
    explicit ZipPackage(const QString &path);
    ~ZipPackage();
    ZipPackage(const ZipPackage &) = delete;
    ZipPackage &operator=(const ZipPackage &) = delete;

    // Index of an entry by name (without case; folders separated by '/' or '\', as some zip
    // writers on Windows name them), or -1.
    int64_t locate(const QString &name) const;
    // The entry's declared uncompressed size (at most the cap), 0 when unknown.
    int64_t declaredSize(int64_t index) const;

    // A read starts with its cap: the budget is full again (a reader that reads a part again,
    // or the read after a streamed one fell back, gets back what was spent).
    void setBudget(int64_t limit)
    {
        m_limit = limit;
        m_budget = limit;
    }
    int64_t limit() const { return m_limit; }
    // Bytes that may still be decompressed.
    int64_t &budget() { return m_budget; }
    [[noreturn]] void tooLarge() const;

    // Decompresses a whole entry, spending the budget.
    QByteArray read(int64_t index, const QString &name);
    // At most the first bytes of an entry, without spending the budget (a mimetype); empty when
    // the entry cannot be read.
    QByteArray peek(int64_t index, int bytes);

    // An entry decompressed as it is read, spending the budget: the one loop every reader of a
    // part goes through. Opening fails when the entry is encrypted or cannot be decompressed.
    class Stream {
      public:
        Stream(ZipPackage &package, int64_t index, const QString &name);
        ~Stream();
        Stream(const Stream &) = delete;
        Stream &operator=(const Stream &) = delete;
        // Decompresses up to n bytes into out; 0 at the entry's end. Fails when the budget is
        // spent or the entry is damaged.
        int64_t read(char *out, int64_t n);
        const QString &name() const { return m_name; }
        ZipPackage &package() const { return m_package; }

      private:
        ZipPackage &m_package;
        zip_file *m_file = nullptr;
        QString m_name;
    };

    // An entry decompressed piece by piece, each piece ending after the last occurrence of a
    // marker (an end tag) in what has been read, so that a part far larger than memory should hold
    // is scanned in cache-sized steps.
    class Pieces {
      public:
        Pieces(ZipPackage &package, int64_t index, const QString &name, QByteArray marker);
        Pieces(const Pieces &) = delete;
        Pieces &operator=(const Pieces &) = delete;
        // The next piece, valid until the following call; empty when the entry is used up.
        std::string_view next();
        bool atEnd() const { return m_end && m_cut == m_used; }

      private:
        void fill();
        Stream m_stream;
        QByteArray m_marker;
        QByteArray m_buffer;
        int64_t m_used = 0, m_cut = 0;
        bool m_end = false;
        bool m_started = false;
    };

  private:
    [[noreturn]] void cannotInflate(const QString &name) const;
    zip *m_zip = nullptr;
    int64_t m_limit = MaxUncompressedBytes;
    int64_t m_budget = MaxUncompressedBytes;
    mutable bool m_backslashesIndexed = false;
    mutable QHash<QString, int64_t> m_backslashNames; // lower case, '/' between folders
};

} // namespace workbook
