#include "window/downloads.h"

#include "net/mod_net.h"

namespace veltrin {

Downloads::Downloads(QObject* parent) : QObject(parent) {
    DownloadEngine::Options options;
    options.userAgent = modNet::kUserAgent;
    m_engine = std::make_unique<DownloadEngine>(options, [this](const DownloadInfo& info) {
        // The engine reports from its own thread; the window hears of it on its own.
        QMetaObject::invokeMethod(
            this, [this, info] { Q_EMIT Changed(info); }, Qt::QueuedConnection);
    });
}

// The engine goes first: it stops reporting before the object it reports to.
Downloads::~Downloads() { m_engine.reset(); }

int Downloads::Add(const std::string& url, const DownloadTarget& target) { return m_engine->Add(url, target); }

} // namespace veltrin
