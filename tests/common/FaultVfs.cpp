#include "FaultVfs.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace faultvfs {

namespace {

sqlite3_vfs *g_real = nullptr;
sqlite3_vfs g_vfs;

int g_counts[4] = {};
struct Armed {
    bool on = false;
    Op op = Op::Write;
    int k = 0;
    Fault fault = Fault::IoError;
    std::uint32_t seed = 1;
};
Armed g_armed;
bool g_struck = false;
bool g_off = false;

// What a file held before the writes since its last completed sync: their before-images, in order.
struct Undo {
    sqlite3_int64 offset;
    std::vector<char> bytes;
};
struct Pending {
    sqlite3_int64 syncedSize = 0;
    std::vector<Undo> undo;
};
std::map<std::string, Pending> g_pending;

struct File {
    sqlite3_file base;
    sqlite3_file *real;
    std::string *path; // null: a file whose durability does not matter (temporary ones)
};

sqlite3_file *real(sqlite3_file *f)
{
    return reinterpret_cast<File *>(f)->real;
}

// Counts a call of `op`; the armed fault when this call is the one to break.
bool strikes(Op op)
{
    const int n = ++g_counts[int(op)];
    if (!g_armed.on || g_armed.op != op || g_armed.k != n) return false;
    g_struck = true;
    g_armed.on = false;
    return true;
}

int failure(Fault fault, int ioerr)
{
    return fault == Fault::Full ? SQLITE_FULL : ioerr;
}

void writeBack(int fd, const Undo &u)
{
    if (!u.bytes.empty() && pwrite(fd, u.bytes.data(), u.bytes.size(), u.offset) < 0) return;
}

// The power goes: every file loses what was written since its last completed sync (torn: each
// written page independently kept or lost).
void cut(bool torn)
{
    std::mt19937 random(g_armed.seed);
    for (auto &[path, pending] : g_pending) {
        const int fd = ::open(path.c_str(), O_RDWR);
        if (fd < 0) continue;
        if (!torn) {
            for (auto it = pending.undo.rbegin(); it != pending.undo.rend(); ++it)
                writeBack(fd, *it);
            if (ftruncate(fd, pending.syncedSize) != 0) {
                // Nothing more a dead machine could do.
            }
        } else {
            // The earliest before-image of each place written is what the disk held at the sync.
            std::set<sqlite3_int64> seen;
            for (const Undo &u : pending.undo) {
                if (!seen.insert(u.offset).second) continue;
                if (random() % 2) writeBack(fd, u);
            }
        }
        ::close(fd);
    }
    g_pending.clear();
    g_off = true;
}

Pending &pendingOf(File *f)
{
    auto it = g_pending.find(*f->path);
    if (it == g_pending.end()) {
        Pending p;
        sqlite3_int64 size = 0;
        if (f->real->pMethods->xFileSize(f->real, &size) == SQLITE_OK) p.syncedSize = size;
        it = g_pending.emplace(*f->path, std::move(p)).first;
    }
    return it->second;
}

void remember(File *f, sqlite3_int64 offset, sqlite3_int64 length)
{
    if (!f->path || length <= 0) return;
    Pending &p = pendingOf(f);
    Undo u{offset, std::vector<char>(size_t(length))};
    // A short read fills the rest with zeros: what lies beyond the old end.
    f->real->pMethods->xRead(f->real, u.bytes.data(), int(length), offset);
    p.undo.push_back(std::move(u));
}

int xClose(sqlite3_file *f)
{
    File *file = reinterpret_cast<File *>(f);
    const int rc = file->real->pMethods ? file->real->pMethods->xClose(file->real) : SQLITE_OK;
    delete file->path;
    file->path = nullptr;
    return rc;
}

int xRead(sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset)
{
    if (g_off) return SQLITE_IOERR_READ;
    return real(f)->pMethods->xRead(real(f), buffer, amount, offset);
}

int xWrite(sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset)
{
    if (g_off) return SQLITE_IOERR_WRITE;
    if (strikes(Op::Write)) {
        if (g_armed.fault == Fault::IoError || g_armed.fault == Fault::Full)
            return failure(g_armed.fault, SQLITE_IOERR_WRITE);
        cut(g_armed.fault == Fault::TornPowerCut);
        return SQLITE_IOERR_WRITE;
    }
    remember(reinterpret_cast<File *>(f), offset, amount);
    return real(f)->pMethods->xWrite(real(f), buffer, amount, offset);
}

int xTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    if (g_off) return SQLITE_IOERR_TRUNCATE;
    if (strikes(Op::Truncate)) return failure(g_armed.fault, SQLITE_IOERR_TRUNCATE);
    File *file = reinterpret_cast<File *>(f);
    sqlite3_int64 current = 0;
    if (file->path && file->real->pMethods->xFileSize(file->real, &current) == SQLITE_OK && current > size)
        remember(file, size, current - size);
    return file->real->pMethods->xTruncate(file->real, size);
}

int xSync(sqlite3_file *f, int flags)
{
    if (g_off) return SQLITE_IOERR_FSYNC;
    if (strikes(Op::Sync)) {
        if (g_armed.fault == Fault::PowerCut || g_armed.fault == Fault::TornPowerCut) {
            cut(g_armed.fault == Fault::TornPowerCut);
            return SQLITE_IOERR_FSYNC;
        }
        return failure(g_armed.fault, SQLITE_IOERR_FSYNC);
    }
    File *file = reinterpret_cast<File *>(f);
    const int rc = file->real->pMethods->xSync(file->real, flags);
    if (rc == SQLITE_OK && file->path) g_pending.erase(*file->path);
    return rc;
}

int xFileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    if (g_off) return SQLITE_IOERR_FSTAT;
    return real(f)->pMethods->xFileSize(real(f), size);
}

int xLock(sqlite3_file *f, int level)
{
    return real(f)->pMethods->xLock(real(f), level);
}
int xUnlock(sqlite3_file *f, int level)
{
    return real(f)->pMethods->xUnlock(real(f), level);
}
int xCheckReservedLock(sqlite3_file *f, int *out)
{
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int xFileControl(sqlite3_file *f, int op, void *arg)
{
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int xSectorSize(sqlite3_file *f)
{
    return real(f)->pMethods->xSectorSize(real(f));
}
int xDeviceCharacteristics(sqlite3_file *f)
{
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int xShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **out)
{
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}
int xShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file *f)
{
    real(f)->pMethods->xShmBarrier(real(f));
}
int xShmUnmap(sqlite3_file *f, int deleteFlag)
{
    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}
int xFetch(sqlite3_file *f, sqlite3_int64 offset, int amount, void **out)
{
    if (g_off) {
        *out = nullptr;
        return SQLITE_OK; // read through xRead instead, which fails
    }
    return real(f)->pMethods->xFetch(real(f), offset, amount, out);
}
int xUnfetch(sqlite3_file *f, sqlite3_int64 offset, void *p)
{
    return real(f)->pMethods->xUnfetch(real(f), offset, p);
}

const sqlite3_io_methods kMethods = {
    3,           xClose,      xRead,        xWrite,    xTruncate,          xSync,
    xFileSize,   xLock,       xUnlock,      xCheckReservedLock, xFileControl, xSectorSize,
    xDeviceCharacteristics, xShmMap, xShmLock, xShmBarrier, xShmUnmap, xFetch, xUnfetch,
};

int vfsOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *f, int flags, int *outFlags)
{
    File *file = reinterpret_cast<File *>(f);
    file->base.pMethods = nullptr;
    file->real = reinterpret_cast<sqlite3_file *>(file + 1);
    file->path = nullptr;
    if (g_off) return SQLITE_IOERR;
    if (strikes(Op::Open)) return g_armed.fault == Fault::Full ? SQLITE_FULL : SQLITE_IOERR;
    const int rc = g_real->xOpen(g_real, name, file->real, flags, outFlags);
    if (rc != SQLITE_OK) return rc;
    const int temporary = SQLITE_OPEN_DELETEONCLOSE | SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL |
                          SQLITE_OPEN_TRANSIENT_DB | SQLITE_OPEN_SUBJOURNAL;
    if (name && !(flags & temporary)) file->path = new std::string(name);
    file->base.pMethods = &kMethods;
    return SQLITE_OK;
}

int vfsDelete(sqlite3_vfs *, const char *name, int syncDir)
{
    if (g_off) return SQLITE_IOERR_DELETE;
    g_pending.erase(name);
    return g_real->xDelete(g_real, name, syncDir);
}
int vfsAccess(sqlite3_vfs *, const char *name, int flags, int *out)
{
    if (g_off) return SQLITE_IOERR_ACCESS;
    return g_real->xAccess(g_real, name, flags, out);
}
int vfsFullPathname(sqlite3_vfs *, const char *name, int n, char *out)
{
    return g_real->xFullPathname(g_real, name, n, out);
}
void *vfsDlOpen(sqlite3_vfs *, const char *name)
{
    return g_real->xDlOpen(g_real, name);
}
void vfsDlError(sqlite3_vfs *, int n, char *out)
{
    g_real->xDlError(g_real, n, out);
}
void (*vfsDlSym(sqlite3_vfs *, void *handle, const char *symbol))(void)
{
    return g_real->xDlSym(g_real, handle, symbol);
}
void vfsDlClose(sqlite3_vfs *, void *handle)
{
    g_real->xDlClose(g_real, handle);
}
int vfsRandomness(sqlite3_vfs *, int n, char *out)
{
    return g_real->xRandomness(g_real, n, out);
}
int vfsSleep(sqlite3_vfs *, int micro)
{
    return g_real->xSleep(g_real, micro);
}
int vfsCurrentTime(sqlite3_vfs *, double *out)
{
    return g_real->xCurrentTime(g_real, out);
}
int vfsGetLastError(sqlite3_vfs *, int n, char *out)
{
    return g_real->xGetLastError ? g_real->xGetLastError(g_real, n, out) : 0;
}
int vfsCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out)
{
    return g_real->xCurrentTimeInt64(g_real, out);
}

} // namespace

void install()
{
    if (g_real) return;
    g_real = sqlite3_vfs_find(nullptr);
    std::memset(&g_vfs, 0, sizeof g_vfs);
    g_vfs.iVersion = 2;
    g_vfs.szOsFile = int(sizeof(File)) + g_real->szOsFile;
    g_vfs.mxPathname = g_real->mxPathname;
    g_vfs.zName = "planexo-fault";
    g_vfs.xOpen = vfsOpen;
    g_vfs.xDelete = vfsDelete;
    g_vfs.xAccess = vfsAccess;
    g_vfs.xFullPathname = vfsFullPathname;
    g_vfs.xDlOpen = vfsDlOpen;
    g_vfs.xDlError = vfsDlError;
    g_vfs.xDlSym = vfsDlSym;
    g_vfs.xDlClose = vfsDlClose;
    g_vfs.xRandomness = vfsRandomness;
    g_vfs.xSleep = vfsSleep;
    g_vfs.xCurrentTime = vfsCurrentTime;
    g_vfs.xGetLastError = vfsGetLastError;
    g_vfs.xCurrentTimeInt64 = vfsCurrentTimeInt64;
    sqlite3_vfs_register(&g_vfs, 1);
}

void reset()
{
    std::fill(std::begin(g_counts), std::end(g_counts), 0);
    g_armed = Armed();
    g_struck = false;
}

int count(Op op)
{
    return g_counts[int(op)];
}

void arm(Op op, int k, Fault fault, std::uint32_t seed)
{
    reset();
    g_armed = Armed{true, op, k, fault, seed};
}

bool struck()
{
    return g_struck;
}

bool poweredOff()
{
    return g_off;
}

void restart()
{
    g_off = false;
    g_pending.clear();
    g_armed = Armed();
}

const char *name(Op op)
{
    static const char *names[] = {"write", "sync", "truncate", "open"};
    return names[int(op)];
}

const char *name(Fault fault)
{
    static const char *names[] = {"I/O error", "disk full", "power cut", "torn power cut"};
    return names[int(fault)];
}

} // namespace faultvfs
