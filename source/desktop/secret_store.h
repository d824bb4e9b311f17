#pragma once

#include "core/proxy_choice.h"

#include <string>

namespace veltrin {

// The proxy's password in the desktop's secret store (the Secret Service), under the proxy's user
// and address; never in the settings file. Each call waits for the store on an event loop of its
// own, ten seconds at most, and needs a QCoreApplication.
struct StoredSecret {
    enum class State { Found, Missing, NoStore } state = State::NoStore;
    std::string password;
};

StoredSecret ReadProxyPassword(const ProxyChoice& proxy);
// An empty password removes the one kept. False when no secret store takes it.
bool KeepProxyPassword(const ProxyChoice& proxy, const std::string& password);

} // namespace veltrin
