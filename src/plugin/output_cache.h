// Two slots of closed sessions, so that reopening an unchanged help file
// (hosts open a file again to extract from it) does not decompile again.
#pragma once

#include <cstdint>

struct ArchiveSession;

// The parked session with this exact path, key and options, taken out; or null.
ArchiveSession* cache_take(const char16_t* path, uint32_t key, int options);
// Parks a closed session; the slot's previous occupant is freed.
void cache_park(ArchiveSession* session);
// Off: a closed session is freed at once instead of parked.
void cache_set_enabled(bool enabled);
// Library load and unload.
void cache_startup();
void cache_shutdown();
