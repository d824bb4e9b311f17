#pragma once

#include "core/proxy_choice.h"

namespace veltrin {

// The proxy every transfer of this process takes from its next start on: the watch page's, the
// advertisement page's and every download's (a download under way takes it at its next attempt).
// Direct until set; any thread may set or read it.
void SetProxy(const ProxyChoice& choice);
ProxyChoice CurrentProxy();

} // namespace veltrin
