#include "workbook/xls/XlsDecrypt.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace xlsdecrypt {

void Rc4::setKey(const unsigned char *key, size_t length)
{
    for (int i = 0; i < 256; ++i)
        m_s[i] = static_cast<unsigned char>(i);
    unsigned char j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<unsigned char>(j + m_s[i] + key[size_t(i) % length]);
        std::swap(m_s[i], m_s[j]);
    }
    m_i = m_j = 0;
}

void Rc4::apply(unsigned char *data, size_t n)
{
    for (size_t k = 0; k < n; ++k) {
        ++m_i;
        m_j = static_cast<unsigned char>(m_j + m_s[m_i]);
        std::swap(m_s[m_i], m_s[m_j]);
        data[k] ^= m_s[static_cast<unsigned char>(m_s[m_i] + m_s[m_j])];
    }
}

void Rc4::skip(size_t n)
{
    unsigned char scratch[256];
    while (n > 0) {
        const size_t step = std::min(n, sizeof scratch);
        apply(scratch, step);
        n -= step;
    }
}

namespace {

constexpr size_t BlockSize = 1024;

uint32_t le16(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t le32(const unsigned char *p)
{
    return le16(p) | le16(p + 2) << 16;
}

QByteArray blockNumber(uint32_t block)
{
    const char b[4] = {char(block & 0xFF), char((block >> 8) & 0xFF), char((block >> 16) & 0xFF),
                       char(block >> 24)};
    return QByteArray(b, 4);
}

QByteArray utf16le(QStringView password)
{
    QByteArray out;
    for (const QChar c : password)
        out.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return out;
}

// How the key of each block is made from the password and the salt.
class KeyMaker {
  public:
    virtual ~KeyMaker() = default;
    virtual QByteArray key(uint32_t block) const = 0;
};

// RC4 with an MD5-based key (Office 97-2003 "standard" encryption, version 1.1).
class Md5Keys : public KeyMaker {
  public:
    Md5Keys(QStringView password, const QByteArray &salt)
    {
        const QByteArray h0 = QCryptographicHash::hash(utf16le(password), QCryptographicHash::Md5).left(5);
        QByteArray buffer;
        for (int i = 0; i < 16; ++i)
            buffer += h0 + salt;
        m_base = QCryptographicHash::hash(buffer, QCryptographicHash::Md5).left(5);
    }
    QByteArray key(uint32_t block) const override
    {
        return QCryptographicHash::hash(m_base + blockNumber(block), QCryptographicHash::Md5);
    }

  private:
    QByteArray m_base;
};

// RC4 CryptoAPI: a SHA-1-based key of 40 to 128 bits; a 40-bit key is used as 128 bits whose last
// 88 are zero, as the cryptographic provider Excel calls does.
class Sha1Keys : public KeyMaker {
  public:
    Sha1Keys(QStringView password, const QByteArray &salt, uint32_t keyBits)
        : m_h0(QCryptographicHash::hash(salt + utf16le(password), QCryptographicHash::Sha1)),
          m_bytes(keyBits / 8)
    {
    }
    QByteArray key(uint32_t block) const override
    {
        QByteArray h = QCryptographicHash::hash(m_h0 + blockNumber(block), QCryptographicHash::Sha1);
        if (m_bytes == 5) return h.left(5) + QByteArray(11, '\0');
        return h.left(qsizetype(m_bytes));
    }

  private:
    QByteArray m_h0;
    uint32_t m_bytes;
};

// Whether the password opens the workbook: the verifier decrypted with block 0's key hashes to the
// verifier's hash decrypted the same way (one key stream for both).
bool verifies(const KeyMaker &keys, QByteArray verifier, QByteArray hash,
              QCryptographicHash::Algorithm algorithm)
{
    const QByteArray key = keys.key(0);
    Rc4 rc4;
    rc4.setKey(reinterpret_cast<const unsigned char *>(key.constData()), size_t(key.size()));
    rc4.apply(reinterpret_cast<unsigned char *>(verifier.data()), size_t(verifier.size()));
    rc4.apply(reinterpret_cast<unsigned char *>(hash.data()), size_t(hash.size()));
    return QCryptographicHash::hash(verifier, algorithm).left(hash.size()) == hash;
}

// Records Excel writes plain in an encrypted stream: BOF, FILEPASS, USREXCL, FILELOCK,
// INTERFACEHDR, RRDINFO, RRDHEAD.
bool plainRecord(uint32_t type)
{
    switch (type) {
    case 0x0809:
    case 0x002F:
    case 0x0194:
    case 0x0195:
    case 0x00E1:
    case 0x0196:
    case 0x0138:
        return true;
    default:
        return false;
    }
}

// Every encrypted byte of the stream, XORed with the key stream of its block at its place in the
// block; headers and plain records take their place in the key stream without being changed.
void decryptRecords(QByteArray &workbook, const KeyMaker &keys)
{
    auto *data = reinterpret_cast<unsigned char *>(workbook.data());
    const size_t size = size_t(workbook.size());
    unsigned char stream[BlockSize];
    size_t block = SIZE_MAX;
    auto xorRange = [&](size_t from, size_t to) {
        while (from < to) {
            const size_t b = from / BlockSize;
            if (b != block) {
                const QByteArray key = keys.key(uint32_t(b));
                Rc4 rc4;
                rc4.setKey(reinterpret_cast<const unsigned char *>(key.constData()), size_t(key.size()));
                std::memset(stream, 0, sizeof stream);
                rc4.apply(stream, sizeof stream);
                block = b;
            }
            const size_t end = std::min(to, (b + 1) * BlockSize);
            for (size_t p = from; p < end; ++p)
                data[p] ^= stream[p - b * BlockSize];
            from = end;
        }
    };
    for (size_t pos = 0; pos + 4 <= size;) {
        const uint32_t type = le16(data + pos);
        const size_t length = le16(data + pos + 2);
        const size_t begin = pos + 4;
        const size_t end = std::min(size, begin + length);
        if (!plainRecord(type)) {
            // A BOUNDSHEET's offset of its sheet stays plain, so that the sheet is found unread.
            const size_t from = type == 0x0085 ? std::min(end, begin + 4) : begin;
            xorRange(from, end);
        }
        pos = begin + length;
    }
}

} // namespace

bool decrypt(QByteArray &workbook, size_t filepass, size_t length, QStringView password)
{
    if (filepass > size_t(workbook.size()) || length > size_t(workbook.size()) - filepass || length < 6)
        return false;
    const auto *f = reinterpret_cast<const unsigned char *>(workbook.constData()) + filepass;
    if (le16(f) != 1) return false; // XOR obfuscation: no RC4
    const uint32_t major = le16(f + 2), minor = le16(f + 4);
    auto bytes = [&](size_t at, size_t n) {
        return QByteArray(reinterpret_cast<const char *>(f + at), qsizetype(n));
    };
    if (major == 1 && minor == 1) {
        if (length < 6 + 48) return false;
        const Md5Keys keys(password, bytes(6, 16));
        if (!verifies(keys, bytes(22, 16), bytes(38, 16), QCryptographicHash::Md5)) return false;
        decryptRecords(workbook, keys);
        return true;
    }
    if (major >= 2 && major <= 4 && minor == 2) {
        // Flags, header size, then the header: flags, extra size, cipher, hash, key bits, ...
        if (length < 14) return false;
        const size_t headerSize = le32(f + 10);
        if (headerSize < 32 || headerSize > length - 14) return false;
        const unsigned char *header = f + 14;
        const uint32_t cipher = le32(header + 8), hash = le32(header + 12);
        uint32_t keyBits = le32(header + 16);
        if (keyBits == 0) keyBits = 40;
        if ((cipher != 0 && cipher != 0x6801) || (hash != 0 && hash != 0x8004) || keyBits < 40 ||
            keyBits > 128 || keyBits % 8 != 0)
            return false;
        // The verifier: salt size, salt, verifier, hash size, hash.
        const size_t v = 14 + headerSize;
        if (length < v + 4 + 16 + 16 + 4 + 20 || le32(f + v) != 16 || le32(f + v + 36) != 20) return false;
        const Sha1Keys keys(password, bytes(v + 4, 16), keyBits);
        if (!verifies(keys, bytes(v + 20, 16), bytes(v + 40, 20), QCryptographicHash::Sha1)) return false;
        decryptRecords(workbook, keys);
        return true;
    }
    return false;
}

} // namespace xlsdecrypt
