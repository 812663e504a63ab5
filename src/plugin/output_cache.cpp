#include "plugin/output_cache.h"

#include <atomic>

#include "platform/platform.h"
#include "plugin/archive_session.h"

namespace {

struct OutputCache {
    ArchiveSession* slots[2];
    int next_slot;
    platform::Mutex* mutex;
    std::atomic<bool> disabled;
};

OutputCache cache;

bool same_path(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

}  // namespace

void cache_startup() {
    cache.mutex = platform::mutex_create();
    cache.slots[0] = cache.slots[1] = nullptr;
    cache.next_slot = 0;
    cache.disabled = false;
}

void cache_set_enabled(bool enabled) { cache.disabled = !enabled; }

void cache_shutdown() {
    if (cache.mutex) platform::mutex_close(cache.mutex);
    cache.mutex = nullptr;
    for (ArchiveSession*& slot : cache.slots) {
        session_free(slot);
        slot = nullptr;
    }
}

ArchiveSession* cache_take(const char16_t* path, uint32_t key, int options) {
    ArchiveSession* found = nullptr;
    platform::mutex_wait(cache.mutex);
    for (int i = 0; i < 2; ++i) {
        ArchiveSession* s = cache.slots[i];
        if (s != nullptr && s->dos_date_time == key && s->options == options && same_path(s->path, path)) {
            found = s;
            cache.slots[i] = nullptr;
            cache.next_slot = i;
            break;
        }
    }
    platform::mutex_release(cache.mutex);
    return found;
}

void cache_park(ArchiveSession* session) {
    if (cache.disabled) {
        session_free(session);
        return;
    }
    session->context.outputs.cursor = session->context.outputs.head;
    platform::mutex_wait(cache.mutex);
    ArchiveSession* evicted = cache.slots[cache.next_slot];
    cache.slots[cache.next_slot] = session;
    cache.next_slot = cache.next_slot == 0 ? 1 : 0;
    platform::mutex_release(cache.mutex);
    // Freeing a large decompile takes a while: do it outside the lock.
    session_free(evicted);
}
