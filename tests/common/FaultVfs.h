#pragma once

#include <cstdint>

// An SQLite VFS for the tests that wraps the default one and breaks the storage on purpose: the
// k-th call of one kind (write, sync, truncate, open) fails with an I/O error or a full disk, or a
// write or a sync meets a power cut: every write to each file since its last completed sync is undone (or,
// torn, a random subset of the written pages is kept) and from then on every call fails, as a
// machine that is off, until restart().
//
// Registered as the default VFS, so every connection this process opens on the system's SQLite
// library (Qt's driver and the program's own calls alike) goes through it.
namespace faultvfs {

enum class Op { Write, Sync, Truncate, Open };
enum class Fault { IoError, Full, PowerCut, TornPowerCut };

// Registers the VFS as the default (once; later calls do nothing).
void install();
// Counts calls from zero again and forgets any armed fault.
void reset();
// The call count of a kind since reset().
int count(Op op);
// Breaks the k-th call (from 1) of `op` after reset(); power cuts strike at writes and syncs
// (before the call does anything). `seed` chooses the pages a torn cut keeps.
void arm(Op op, int k, Fault fault, std::uint32_t seed = 1);
// Whether the armed fault has struck.
bool struck();
// Whether the machine is "off" after a power cut.
bool poweredOff();
// Power back on: the files stay as the cut left them; nothing is pending any more.
void restart();

const char *name(Op op);
const char *name(Fault fault);

} // namespace faultvfs
