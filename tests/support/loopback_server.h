#pragma once

// An HTTP (or HTTPS) server on 127.0.0.1 on a port of its own, running for the life of the object,
// and a slow answer for it to give.

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace veltrin::testing {

template <typename Server = httplib::Server> class LoopbackServer {
public:
    template <typename... Args> explicit LoopbackServer(Args&&... args) : m_server(std::forward<Args>(args)...) {}

    ~LoopbackServer() { Stop(); }

    Server& operator*() { return m_server; }
    Server* operator->() { return &m_server; }

    void Start() {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0) {
            throw std::runtime_error("cannot bind a loopback port");
        }
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void Stop() {
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }

    std::string Url(const std::string& path, const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

// Answers with body, a chunk at a time and a pause before each, as a slow link delivers it.
inline void ServeSlowly(httplib::Response& res, const std::string& body, const char* type, std::size_t chunk,
                        std::chrono::milliseconds pause) {
    // A copy: the test may change its body while an earlier answer is still on its way.
    res.set_content_provider(body.size(), type,
                             [data = std::make_shared<const std::string>(body), chunk,
                              pause](size_t offset, size_t length, httplib::DataSink& sink) {
                                 std::this_thread::sleep_for(pause);
                                 return sink.write(data->data() + offset, std::min(chunk, length));
                             });
}

} // namespace veltrin::testing
