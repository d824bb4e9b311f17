#pragma once

#include "net/download_engine.h"
#include "window/download_store.h"

#include <QObject>

#include <map>
#include <memory>
#include <vector>

namespace veltrin {

// The program's downloads: the engine, with its news delivered on the window's thread, and the
// list kept across runs, which records every change of state.
class Downloads : public QObject {
    Q_OBJECT
public:
    explicit Downloads(QObject* parent = nullptr);
    ~Downloads() override;

    // Opens the list kept across runs; what to tell the user about it, or nothing.
    QString OpenList(const QString& path);
    DownloadStore* List() const { return m_store.get(); }

    // A download of a stream found on a watch page, listed as row says and continued from its
    // part in a later run.
    int Add(const std::string& url, const DownloadTarget& target, StoredDownload row);
    // Adds again the downloads the list left running or queued, but for those whose part another
    // live process holds; returns their ids.
    std::vector<int> ContinueLeft();
    void SetMostAtOnce(int most) { m_engine->SetMostAtOnce(most); }
    void Pause(int id) { m_engine->Pause(id); }
    void Resume(int id) { m_engine->Resume(id); }
    void Cancel(int id) { m_engine->Cancel(id); }
    // Downloads queued, under way or retrying: those the next start continues.
    int Running() const;
    const StoredDownload* Row(int id) const {
        const auto found = m_rows.find(id);
        return found == m_rows.end() ? nullptr : &found->second;
    }

Q_SIGNALS:
    void Changed(const veltrin::DownloadInfo& info);

private:
    void Record(const DownloadInfo& info);

    std::unique_ptr<DownloadStore> m_store;
    std::map<int, StoredDownload> m_rows; // by the engine's id
    std::unique_ptr<DownloadEngine> m_engine;
};

// What finds a stream's address again: the watch page fetched anew, and its stream of the format.
Continuation ContinuationFor(const StoredDownload& row);

} // namespace veltrin
