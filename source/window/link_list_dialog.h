#pragma once

#include "core/go_pipeline.h"
#include "desktop/user_settings.h"
#include "download/stream_download.h"

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace veltrin {

class Downloads;
class PageQueue;

// The stream a page's matches give for what is kept: the best sound for the sound alone, else the
// preferred quality (a row of QualityTable, -1 for the best) or the best one below it.
std::optional<std::size_t> ChooseKept(const std::vector<LinkMatch>& matches, KeepForm keep, int preferredQuality);
// Where a stream goes in folder: its planned name, or for the sound alone the title and the
// sound's own extension.
DownloadTarget KeptTarget(const PageStream& source, const std::string& folder, KeepForm keep);

// The videos of a list of links, one row each: its title once its page has come (a few at a time),
// the quality and what to keep, each for the row or for all, and one folder for the list. "Download
// all" starts the checked rows, and those whose page is still to come as it comes; closing the
// dialog otherwise stops the fetches and starts nothing.
class LinkListDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { VideoColumn, QualityColumn, KeepColumn, StatusColumn };
    static constexpr int kPagesAtOnce = 3;

    LinkListDialog(const UserSettings& prefs, Downloads* downloads, QWidget* parent = nullptr);
    ~LinkListDialog() override;

    // Lists the links not listed yet; how many it added.
    int AddLinks(const std::vector<std::string>& links);
    // Another list may join this one: "Download all" has not been pressed (what comes later is
    // then started as it comes, not offered), and the dialog was not closed.
    bool Joinable() const { return !m_committed && !m_closed; }
    bool Fetching() const;

    QTableWidget* Table() const { return m_table; }
    QComboBox* QualityForAll() const { return m_qualityForAll; }
    QComboBox* KeepForAll() const { return m_keepForAll; }
    QLineEdit* Folder() const { return m_folder; }
    QPushButton* DownloadButton() const { return m_download; }
    void done(int result) override;

Q_SIGNALS:
    // A row's download was started with this id of the downloads list.
    void Started(int id);

private:
    struct Row {
        std::string link;
        int ticket = -1;
        bool fetched = false;
        bool failed = false;
        bool started = false;
        GoFetched page;
        std::vector<LinkMatch> matches;
    };
    void OnFetched(int ticket, const GoFetched& fetched);
    // The row's combo boxes follow the choices for all; its status says whether it was downloaded.
    void Choose(int row, int quality, KeepForm keep);
    std::optional<PageStream> SourceOf(int row) const;
    void ShowDownloadedBefore(int row, bool uncheck);
    void SetStatus(int row, const QString& text);
    void DownloadAll();
    bool StartRow(int row);
    void FinishIfDone();

    Downloads* m_downloads;
    PageQueue* m_queue;
    std::vector<Row> m_rows;
    bool m_committed = false;
    bool m_closed = false;
    QTableWidget* m_table;
    QComboBox* m_qualityForAll;
    QComboBox* m_keepForAll;
    QLineEdit* m_folder;
    QPushButton* m_download;
};

} // namespace veltrin
