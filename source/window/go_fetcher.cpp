#include "window/go_fetcher.h"

#include "net/http_request.h"
#include "net/page_fetch.h"

#include <atomic>

namespace veltrin {

struct GoFetcher::Job {
    std::atomic<bool> stop{false};
    std::shared_ptr<HttpRequest> request;
    std::string link;
    bool apart = false;
};

GoFetcher::GoFetcher(QObject* parent) : QObject(parent) {
    // Two stopped Gos still winding down never hold up a third.
    m_threads.setMaxThreadCount(16);
}

GoFetcher::~GoFetcher() {
    for (const auto& job : m_running) {
        job->stop = true;
    }
    m_threads.waitForDone();
}

void GoFetcher::SetRequest(std::unique_ptr<HttpRequest> request, std::string reason) {
    m_idle = std::move(request);
    m_noRequestReason = std::move(reason);
}

void GoFetcher::Start(const std::string& link, const std::string& advertisementPage) {
    Stop();
    auto job = std::make_shared<Job>();
    job->link = link;
    if (m_idle) {
        job->request = std::move(m_idle);
    } else if (m_noRequestReason.empty()) {
        // The program's object is still busy with a Go that was stopped: this one gets its own,
        // made the same way.
        try {
            job->request = CreateConfiguredRequest();
        } catch (const HttpRequestError& e) {
            m_noRequestReason = e.what();
        }
    }
    if (job->request) {
        job->request->SetStop(&job->stop);
    }
    m_current = job;
    m_running.push_back(job);
    m_threads.start([this, job, link, advertisementPage, noRequest = m_noRequestReason] {
        const FetchPage fetch = [&job, &noRequest](const std::string& address) -> FetchedPage {
            if (!job->request) {
                return {{}, noRequest};
            }
            if (job->stop) {
                return {{}, "stopped"};
            }
            return TryFetchPage(*job->request, address);
        };
        QMetaObject::invokeMethod(
            this, [this, job, fetched = FetchGo(link, fetch, advertisementPage)] { Finish(job, fetched); },
            Qt::QueuedConnection);
    });
}

void GoFetcher::Finish(const std::shared_ptr<Job>& job, const GoFetched& fetched) {
    if (job->request) {
        job->request->SetStop(nullptr);
        if (!m_idle) {
            m_idle = std::move(job->request);
        }
    }
    std::erase(m_running, job);
    if (job == m_current) {
        m_current.reset();
        Q_EMIT Fetched(fetched);
    } else if (job->apart) {
        Q_EMIT FetchedApart(QString::fromStdString(job->link), fetched);
    }
}

void GoFetcher::Detach() {
    if (m_current) {
        m_current->apart = true;
        m_current.reset();
    }
}

void GoFetcher::Stop() {
    if (m_current) {
        m_current->stop = true;
        m_current.reset();
    }
}

} // namespace veltrin
