// libFuzzer target: the fuzzed bytes become content.xml of an OpenDocument spreadsheet, so that the
// table scanner sees them as they are (a mutated zip rarely gets a compressed part past its CRC).
#include "FuzzWorkbook.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <zip.h>

namespace {

constexpr char MimeType[] = "application/vnd.oasis.opendocument.spreadsheet";

// The package, mimetype stored first as the format asks; empty if libzip fails.
QByteArray package(const uint8_t *data, size_t size)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) return {};
    zip_source_keep(buffer);
    zip_t *zip = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    bool ok = zip != nullptr;
    const std::pair<const char *, std::pair<const void *, size_t>> parts[] = {
        {"mimetype", {MimeType, strlen(MimeType)}},
        {"content.xml", {data, size}},
    };
    for (const auto &[name, bytes] : parts) {
        if (!ok) break;
        zip_source_t *part = zip_source_buffer(zip, bytes.first, bytes.second, 0);
        const zip_int64_t index = part ? zip_file_add(zip, name, part, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(part);
            ok = false;
        } else {
            zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_STORE, 0);
        }
    }
    if (zip && (!ok || zip_close(zip) != 0)) {
        zip_discard(zip);
        ok = false;
    }
    QByteArray out;
    zip_stat_t st;
    if (ok && zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0) {
        out.resize(qsizetype(st.size));
        if (zip_source_read(buffer, out.data(), st.size) != zip_int64_t(st.size)) out.clear();
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    zip_error_fini(&error);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::useSpanishLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray zip = package(data, size);
    if (zip.isEmpty()) __builtin_trap(); // the harness itself failed
    const QString path =
        fuzz::writeInput(QStringLiteral("fuzz_ods_content.ods"), zip.constData(), zip.size());
    if (!path.isEmpty()) fuzz::readWorkbook(path, 8, 8);
    return 0;
}
