#pragma once

#include <QByteArray>
#include <QStringView>
#include <cstddef>
#include <cstdint>

// RC4 encryption of legacy workbooks (the FILEPASS record of a BIFF8 workbook stream).
namespace xlsdecrypt {

// The password Excel tries by itself: a workbook encrypted with it ("write-protected") opens
// without asking.
inline constexpr QStringView DefaultPassword = u"VelvetSweatshop";

// The RC4 stream cipher.
class Rc4 {
  public:
    void setKey(const unsigned char *key, size_t length);
    // XORs the next n bytes of the key stream into data.
    void apply(unsigned char *data, size_t n);
    void skip(size_t n);

  private:
    unsigned char m_s[256] = {};
    unsigned char m_i = 0, m_j = 0;
};

// Decrypts the records of a workbook stream in place with the password, as Excel encrypts them:
// RC4 keyed per block of 1024 bytes of the stream (MD5-based, or SHA-1-based for RC4 CryptoAPI),
// record headers and the records Excel leaves plain untouched. filepass is the offset of the
// FILEPASS record's data, length its size. False, leaving the stream as it was, when the
// encryption is of another kind or the password is not the one it was made with.
bool decrypt(QByteArray &workbook, size_t filepass, size_t length, QStringView password);

} // namespace xlsdecrypt
