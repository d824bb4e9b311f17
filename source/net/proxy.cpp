#include "net/proxy.h"

#include <mutex>

namespace veltrin {

namespace {

std::mutex mutex;
ProxyChoice current; // guarded by mutex

} // namespace

void SetProxy(const ProxyChoice& choice) {
    std::lock_guard lock(mutex);
    current = choice;
}

ProxyChoice CurrentProxy() {
    std::lock_guard lock(mutex);
    return current;
}

} // namespace veltrin
