#pragma once

#include "core/go_pipeline.h"

#include <QObject>
#include <QThreadPool>

#include <memory>
#include <string>
#include <vector>

namespace veltrin {

class HttpRequest;

// Runs the two fetches of a Go on a thread of its own, so that the window never waits for a
// server. Only the latest Go counts: a new one, or Stop, stops the one under way, whose answer is
// then dropped. A new Go never waits for the old transfer to end: it takes a thread and a request
// object of its own while the old one winds down, and the program's one object again once that
// is free.
class GoFetcher : public QObject {
    Q_OBJECT
public:
    explicit GoFetcher(QObject* parent = nullptr);
    // Stops what still runs and waits for it, which a stopped transfer ends within a second.
    ~GoFetcher() override;

    // The request object the Gos use; none when it could not be made, and then every Go fails
    // with reason.
    void SetRequest(std::unique_ptr<HttpRequest> request, std::string reason = {});

    void Start(const std::string& link, const std::string& advertisementPage);
    void Stop();
    // Lets the Go under way go on apart from the window's: a new Go no longer stops it, and its
    // answer comes as FetchedApart.
    void Detach();
    bool Running() const { return m_current != nullptr; }
    // No Go under way, and none stopped still winding down: every answer has come or been dropped.
    bool Idle() const { return m_running.empty(); }
    // For benchmarks: sleeps until every fetch under way has posted its answer, as the window's
    // event loop sleeps meanwhile.
    void WaitForAnswers() { m_threads.waitForDone(); }

Q_SIGNALS:
    // The current Go's fetches are done.
    void Fetched(const veltrin::GoFetched& fetched);
    void FetchedApart(const QString& link, const veltrin::GoFetched& fetched);

private:
    struct Job;
    void Finish(const std::shared_ptr<Job>& job, const GoFetched& fetched);

    std::shared_ptr<HttpRequest> m_idle; // free for the next Go
    std::string m_noRequestReason;
    std::shared_ptr<Job> m_current;
    std::vector<std::shared_ptr<Job>> m_running; // the current Go and any stopped ones still winding down
    // Its threads outlive a Go, so that the next one need not start a thread of its own.
    QThreadPool m_threads;
};

} // namespace veltrin
