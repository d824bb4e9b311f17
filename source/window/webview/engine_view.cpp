#include "window/webview/engine_view.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QQuickWindow>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>

namespace veltrin {

ResultsPage::ResultsPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    QWebEngineSettings* s = settings();
    // The results page has no script of its own; with scripting off a "javascript:" link in it,
    // which the navigation hook is never asked about, runs nothing.
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    // The advertisement frame is a remote page inside a local one.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // Needed for the dl.jpg picture beside the page; the page runs no script that could read more.
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
}

bool ResultsPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    // A view, not a browser: going back would blank the results, and reloading a results file
    // that a later run replaced, or that is gone, shows an error page.
    // The program's own load of the results file is not the user's reload, even where the engine
    // takes a load of the address it is still loading for one.
    const bool ownLoad = isMainFrame && !m_ownLoad.isEmpty() && url.adjusted(QUrl::RemoveFragment) == m_ownLoad;
    if (ownLoad) {
        m_ownLoad.clear();
    }
    if (isMainFrame && !ownLoad && (type == NavigationTypeBackForward || type == NavigationTypeReload)) {
        Q_EMIT HistoryRefused();
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        // A stream link of the results page is saved by the program, whatever the server says it
        // is; shown in the view, a stream would play there, or fail to, in place of the links.
        if (isMainFrame && type == NavigationTypeLinkClicked && !m_resultsFile.isEmpty() &&
            this->url().adjusted(QUrl::RemoveFragment) == m_resultsFile) {
            if (m_linkFollowed) {
                m_linkFollowed(url);
            }
            return false;
        }
        return true;
    }
    if (url == QUrl(QStringLiteral("about:blank"))) {
        return true;
    }
    return isMainFrame && url.isLocalFile() && url.adjusted(QUrl::RemoveFragment) == m_resultsFile;
}

void LocalFileGuard::SetResultsFile(const QUrl& file) {
    m_resultsFile = file.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery);
    m_picture = m_resultsFile.resolved(QUrl(QStringLiteral("dl.jpg")));
}

void LocalFileGuard::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl().adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("about")) {
        return;
    }
    info.block(url != m_resultsFile && url != m_picture);
}

QWebEnginePage* ResultsPage::createWindow(WebWindowType) { return nullptr; }

EngineView::EngineView(QWidget* parent, Events events)
    : QWebEngineView(parent), m_events(std::move(events)), m_profile(new QWebEngineProfile(this)),
      m_guard(new LocalFileGuard(this)), m_page(new ResultsPage(m_profile, this)) {
    m_profile->setUrlRequestInterceptor(m_guard);
    // The page names only "tahoma": where that is missing it falls back to the desktop's own
    // face, as the rest of the window does, not to a serif one.
    const QString desktopFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    m_page->settings()->setFontFamily(QWebEngineSettings::StandardFont, desktopFont);
    m_page->settings()->setFontFamily(QWebEngineSettings::SansSerifFont, desktopFont);
    // Each results page opens at its top: the engine would bring back where an earlier page, under
    // the same file name, was scrolled to.
    QWebEngineScript top;
    top.setInjectionPoint(QWebEngineScript::DocumentCreation);
    top.setWorldId(QWebEngineScript::ApplicationWorld);
    top.setSourceCode(QStringLiteral("history.scrollRestoration = 'manual';"));
    m_page->scripts().insert(top);
    setPage(m_page);
    m_page->OnLinkFollowed([this](const QUrl& link) {
        if (m_events.linkFollowed) {
            m_events.linkFollowed(link);
        }
    });
    // Nothing is saved behind the user's back, such as a file that a frame serves by itself.
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });
    // Behind the icon the page is frozen, so that its renderer sleeps while the window waits. It
    // is never discarded: that would load the results file again when the window comes back.
    connect(m_page, &QWebEnginePage::visibleChanged, this, [this](bool visible) {
        m_page->setLifecycleState(visible ? QWebEnginePage::LifecycleState::Active
                                          : QWebEnginePage::LifecycleState::Frozen);
    });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (m_events.loadFinished) {
            m_events.loadFinished(ok);
        }
    });
}

void EngineView::Load(const QUrl& url) {
    if (url.isLocalFile()) {
        m_page->SetResultsFile(url);
        m_guard->SetResultsFile(url);
    }
    m_page->ExpectOwnLoad(url);
    load(url);
}

void EngineView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // Nothing but copying a link's address: no Back, Reload, Save page or View source.
    const QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    if (request == nullptr || request->linkUrl().isEmpty()) {
        return;
    }
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_page->action(QWebEnginePage::CopyLinkToClipboard));
    menu->popup(event->globalPos());
}

ResultsView* EngineViewFactory::Create(QWidget* parent, ResultsView::Events events) {
    // A page of a few links draws well in software. Drawn through OpenGL it would load the
    // system's driver (about 20 MB here, more with a software rasteriser) into the program for as
    // long as it runs. Someone who chose a backend in the environment keeps it.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    return new EngineView(parent, std::move(events));
}

} // namespace veltrin
