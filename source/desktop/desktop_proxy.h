#pragma once

namespace veltrin {

// The desktop's own proxy setting (GNOME's org.gnome.system.proxy, read with gsettings), made the
// environment libcurl reads (http_proxy, https_proxy, all_proxy, no_proxy) for this process, so
// that "the system's proxy settings" mean the desktop's where it has them. An environment that
// names a proxy already is left as it is; so is everything on a desktop without the setting.
// Reads the setting once; later calls do nothing.
void AdoptDesktopProxy();

} // namespace veltrin
