#pragma once

#include "core/go_pipeline.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <deque>
#include <memory>
#include <string>

namespace veltrin {

// Fetches the watch pages of a list a few at a time, beside the window's thread, as a Go fetches
// its page (without the advertisement page). The rest wait their turn, so that a list of a
// thousand links costs nothing until its pages come. Stop, or the end of the queue, stops what
// runs and drops what waits; no answer comes after it.
class PageQueue : public QObject {
    Q_OBJECT
public:
    explicit PageQueue(int atOnce, QObject* parent = nullptr);
    ~PageQueue() override;

    // Queues the page at link; its answer comes as Fetched with the same ticket.
    int Add(const std::string& link);
    void Stop();
    // Nothing fetched nor waiting.
    bool Idle() const { return m_running == 0 && m_waiting.empty(); }

Q_SIGNALS:
    void Fetched(int ticket, const veltrin::GoFetched& fetched);

private:
    void StartMore();

    int m_atOnce;
    int m_running = 0;
    int m_nextTicket = 0;
    std::deque<std::pair<int, std::string>> m_waiting;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    QThreadPool m_threads;
};

} // namespace veltrin
