#include "window/go_fetcher.h"

#include "net/http_request.h"
#include "net/mod_net.h"

#include <atomic>
#include <thread>

namespace veltrin {

struct GoFetcher::Job {
    std::atomic<bool> stop{false};
    std::shared_ptr<HttpRequest> request;
    std::thread thread;
};

GoFetcher::GoFetcher(QObject* parent) : QObject(parent) {}

GoFetcher::~GoFetcher() {
    for (const auto& job : m_jobs) {
        job->stop = true;
    }
    for (const auto& job : m_jobs) {
        job->thread.join();
    }
}

void GoFetcher::SetRequest(std::unique_ptr<HttpRequest> request, std::string reason) {
    m_idle = std::move(request);
    m_noRequestReason = std::move(reason);
}

void GoFetcher::Start(const std::string& link, const std::string& advertisementPage) {
    Stop();
    auto job = std::make_shared<Job>();
    if (m_idle) {
        job->request = std::move(m_idle);
    } else if (m_noRequestReason.empty()) {
        // The program's object is still busy with a Go that was stopped: this one gets its own,
        // made the same way.
        try {
            job->request = modNet::CreateConfiguredRequest();
        } catch (const HttpRequestError& e) {
            m_noRequestReason = e.what();
        }
    }
    if (job->request) {
        job->request->SetStop(&job->stop);
    }
    m_current = job;
    m_jobs.push_back(job);
    const std::string noRequest = m_noRequestReason;
    job->thread = std::thread([this, job = job.get(), link, advertisementPage, noRequest] {
        const FetchPage fetch = [job, &noRequest](const std::string& address) -> FetchedPage {
            if (!job->request) {
                return {{}, noRequest};
            }
            if (job->stop) {
                return {{}, "stopped"};
            }
            try {
                return {modNet::FetchPage(*job->request, address), {}};
            } catch (const HttpRequestError& e) {
                return {{}, e.what()};
            } catch (const std::bad_alloc&) {
                return {{}, "out of memory"};
            }
        };
        GoFetched fetched = FetchGo(link, fetch, advertisementPage);
        QMetaObject::invokeMethod(
            this,
            [this, job, fetched = std::move(fetched)]() mutable {
                for (const auto& owned : m_jobs) {
                    if (owned.get() == job) {
                        Finish(owned, std::move(fetched));
                        return;
                    }
                }
            },
            Qt::QueuedConnection);
    });
}

void GoFetcher::Finish(std::shared_ptr<Job> job, GoFetched fetched) {
    job->thread.join(); // it has nothing left to do but end
    if (job->request) {
        job->request->SetStop(nullptr);
        if (!m_idle) {
            m_idle = std::move(job->request);
        }
    }
    std::erase(m_jobs, job);
    if (job == m_current) {
        m_current.reset();
        Q_EMIT Fetched(fetched);
    }
}

void GoFetcher::Stop() {
    if (m_current) {
        m_current->stop = true;
        m_current.reset();
    }
}

} // namespace veltrin
