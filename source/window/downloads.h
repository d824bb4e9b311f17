#pragma once

#include "net/download_engine.h"

#include <QObject>

#include <memory>

namespace veltrin {

// The program's downloads: the engine, with its news delivered on the window's thread.
class Downloads : public QObject {
    Q_OBJECT
public:
    explicit Downloads(QObject* parent = nullptr);
    ~Downloads() override;

    int Add(const std::string& url, const DownloadTarget& target);
    void SetMostAtOnce(int most) { m_engine->SetMostAtOnce(most); }
    void Pause(int id) { m_engine->Pause(id); }
    void Resume(int id) { m_engine->Resume(id); }
    void Cancel(int id) { m_engine->Cancel(id); }
    void CancelAll() { m_engine->CancelAll(); }
    int Unfinished() const { return m_engine->Unfinished(); }

Q_SIGNALS:
    void Changed(const veltrin::DownloadInfo& info);

private:
    std::unique_ptr<DownloadEngine> m_engine;
};

} // namespace veltrin
