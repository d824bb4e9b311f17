#include "window/page_queue.h"

#include "net/http_request.h"
#include "net/page_fetch.h"

namespace veltrin {

PageQueue::PageQueue(int atOnce, QObject* parent) : QObject(parent), m_atOnce(atOnce) {
    m_threads.setMaxThreadCount(atOnce);
}

PageQueue::~PageQueue() {
    Stop();
    m_threads.waitForDone(); // a stopped transfer ends within a second
}

int PageQueue::Add(const std::string& link) {
    m_waiting.emplace_back(m_nextTicket, link);
    StartMore();
    return m_nextTicket++;
}

void PageQueue::Stop() {
    *m_stop = true;
    m_waiting.clear();
}

void PageQueue::StartMore() {
    while (m_running < m_atOnce && !m_waiting.empty() && !*m_stop) {
        auto [ticket, link] = std::move(m_waiting.front());
        m_waiting.pop_front();
        ++m_running;
        m_threads.start([this, ticket, link, stop = m_stop] {
            std::unique_ptr<HttpRequest> request;
            std::string noRequest;
            try {
                request = CreateConfiguredRequest();
                request->SetStop(stop.get());
            } catch (const HttpRequestError& e) {
                noRequest = e.what();
            }
            const FetchPage fetch = [&](const std::string& address) -> FetchedPage {
                if (!request) {
                    return {{}, noRequest};
                }
                return *stop ? FetchedPage{{}, "stopped"} : TryFetchPage(*request, address);
            };
            GoFetched fetched = FetchGo(link, fetch, {});
            if (request) {
                request->SetStop(nullptr);
            }
            QMetaObject::invokeMethod(
                this,
                [this, ticket, stop, fetched = std::move(fetched)] {
                    --m_running;
                    if (!*stop) {
                        Q_EMIT Fetched(ticket, fetched);
                        StartMore();
                    }
                },
                Qt::QueuedConnection);
        });
    }
}

} // namespace veltrin
