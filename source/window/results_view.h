#pragma once

#include <QString>
#include <QUrl>
#include <QtPlugin>

#include <functional>

class QWidget;

namespace veltrin {

// The web engine's side of the results view. It lives in a module of its own that the window
// loads when the first results page is shown, so that a window that shows none, and the command
// line, never load the engine.
class ResultsView {
public:
    struct Events {
        std::function<void(bool ok)> loadFinished;
        // A stream link of the results page was followed; the view itself downloads nothing.
        std::function<void(const QUrl& link)> linkFollowed;
    };
    virtual ~ResultsView() = default;

    // The view itself; its parent owns it.
    virtual QWidget* Widget() = 0;
    // "about:blank", or a results file by its URL: only that file and web pages may be shown.
    virtual void Load(const QUrl& url) = 0;
    virtual QUrl Url() const = 0;
};

class ResultsViewFactory {
public:
    virtual ~ResultsViewFactory() = default;
    virtual ResultsView* Create(QWidget* parent, ResultsView::Events events) = 0;
};

} // namespace veltrin

#define VELTRIN_RESULTS_VIEW_FACTORY_IID "org.veltrin.ResultsViewFactory/1"
Q_DECLARE_INTERFACE(veltrin::ResultsViewFactory, VELTRIN_RESULTS_VIEW_FACTORY_IID)
