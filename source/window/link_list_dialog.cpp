#include "window/link_list_dialog.h"

#include "core/file_name.h"
#include "core/link.h"
#include "core/watch_links.h"
#include "library/downloads.h"
#include "window/constants.h"
#include "window/page_queue.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace veltrin {

namespace {

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

void FillKeep(QComboBox* box, KeepForm keep) {
    box->addItem(LinkListDialog::tr("The video"), static_cast<int>(KeepForm::Video));
    box->addItem(LinkListDialog::tr("The sound only"), static_cast<int>(KeepForm::Sound));
    box->addItem(LinkListDialog::tr("The sound as MP3"), static_cast<int>(KeepForm::Mp3));
    box->setCurrentIndex(box->findData(static_cast<int>(keep)));
}

} // namespace

std::optional<std::size_t> ChooseKept(const std::vector<LinkMatch>& matches, KeepForm keep, int preferredQuality) {
    if (keep != KeepForm::Video) {
        return ChooseSound(matches);
    }
    return ChooseQuality(matches,
                         preferredQuality < 0 ? nullptr : &QualityTable[static_cast<std::size_t>(preferredQuality)]);
}

DownloadTarget KeptTarget(const PageStream& source, const std::string& folder, KeepForm keep) {
    DownloadTarget target = PlanStreamDownload(source, folder).target;
    if (keep != KeepForm::Video) { // the sound's own name, without the quality; its extension is the sound's
        target.stem = DownloadStem(source.title, "");
        target.extension = keep == KeepForm::Mp3 || source.stream.quality->sound == SoundCodec::Mp3 ? "mp3" : "m4a";
    }
    return target;
}

LinkListDialog::LinkListDialog(const UserSettings& prefs, Downloads* downloads, QWidget* parent)
    : QDialog(parent), m_downloads(downloads), m_queue(new PageQueue(kPagesAtOnce, this)),
      m_table(new QTableWidget(0, 4, this)), m_qualityForAll(new QComboBox(this)), m_keepForAll(new QComboBox(this)),
      m_folder(new QLineEdit(DownloadFolder(prefs), this)), m_download(new QPushButton(tr("Download all"), this)) {
    setWindowTitle(tr("Download these videos"));
    setObjectName(QStringLiteral("linkList"));
    m_table->setHorizontalHeaderLabels({tr("Video"), tr("Quality"), tr("Keep"), tr("Status")});
    m_table->horizontalHeader()->setSectionResizeMode(VideoColumn, QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(StatusColumn, QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_qualityForAll->addItem(tr("The best"), -1);
    for (std::size_t i = 0; i < QualityTable.size(); ++i) {
        m_qualityForAll->addItem(QString::fromLatin1(QualityTable[i].label), static_cast<int>(i));
    }
    m_qualityForAll->setCurrentIndex(m_qualityForAll->findData(prefs.preferredQuality));
    FillKeep(m_keepForAll, prefs.keep);
    const auto forAll = [this] {
        for (int row = 0; row < static_cast<int>(m_rows.size()); ++row) {
            Choose(row, m_qualityForAll->currentData().toInt(),
                   static_cast<KeepForm>(m_keepForAll->currentData().toInt()));
        }
    };
    connect(m_qualityForAll, &QComboBox::activated, this, forAll);
    connect(m_keepForAll, &QComboBox::activated, this, forAll);

    auto* browse = new QPushButton(tr("Browse\u2026"), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, tr("Download the videos into"), m_folder->text());
        if (!chosen.isEmpty()) {
            m_folder->setText(QDir::toNativeSeparators(chosen));
        }
    });

    auto* choices = new QHBoxLayout;
    const auto labelled = [&](const QString& text, QWidget* field) {
        auto* label = new QLabel(text, this);
        label->setBuddy(field);
        choices->addWidget(label);
        choices->addWidget(field);
    };
    labelled(tr("&Quality for all:"), m_qualityForAll);
    labelled(tr("&Keep for all:"), m_keepForAll);
    labelled(tr("&Folder:"), m_folder);
    choices->addWidget(browse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton(m_download, QDialogButtonBox::AcceptRole);
    m_download->setDefault(true);
    m_download->setAutoDefault(true);
    connect(m_download, &QPushButton::clicked, this, &LinkListDialog::DownloadAll);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addLayout(choices);
    layout->addWidget(buttons);
    resize(760, 340);
    m_download->setFocus(); // Enter downloads; Tab reaches the rows

    connect(m_queue, &PageQueue::Fetched, this, &LinkListDialog::OnFetched);
}

LinkListDialog::~LinkListDialog() = default;

bool LinkListDialog::Fetching() const { return !m_queue->Idle(); }

int LinkListDialog::AddLinks(const std::vector<std::string>& links) {
    std::set<std::string> listed;
    for (const Row& r : m_rows) {
        listed.emplace(VideoOf(r.link));
    }
    int count = 0;
    for (const std::string& link : links) {
        if (!listed.emplace(VideoOf(link)).second) {
            continue;
        }
        const int row = static_cast<int>(m_rows.size());
        Row& added = m_rows.emplace_back();
        added.link = link;
        added.ticket = m_queue->Add(link);
        m_table->setRowCount(row + 1);
        auto* video = new QTableWidgetItem(FromUtf8(Shown(link)));
        video->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        video->setCheckState(Qt::Checked);
        video->setToolTip(FromUtf8(Shown(link)));
        m_table->setItem(row, VideoColumn, video);
        for (const int column : {QualityColumn, KeepColumn, StatusColumn}) {
            m_table->setItem(row, column, new QTableWidgetItem);
        }
        SetStatus(row, tr("Fetching its page\u2026"));
        ++count;
    }
    return count;
}

void LinkListDialog::OnFetched(int ticket, const GoFetched& fetched) {
    const auto found =
        std::find_if(m_rows.begin(), m_rows.end(), [ticket](const Row& r) { return r.ticket == ticket; });
    if (found == m_rows.end()) {
        return;
    }
    const int row = static_cast<int>(found - m_rows.begin());
    Row& r = *found;
    r.fetched = true;
    r.page = fetched;
    if (fetched.kind == GoFetched::Kind::Found) {
        r.matches = ScanStreamEntries(fetched.block);
        m_table->item(row, VideoColumn)->setText(FromUtf8(fetched.title));
    }
    r.failed = r.matches.empty();
    if (r.failed) {
        m_table->item(row, VideoColumn)->setCheckState(Qt::Unchecked);
        SetStatus(row,
                  fetched.kind == GoFetched::Kind::NotFetched ? tr("Cannot fetch it: %1").arg(FromUtf8(fetched.failure))
                  : fetched.kind == GoFetched::Kind::NoParameters ? tr("The page has no player parameters.")
                                                                  : tr("The page offers no video of a known quality."));
        FinishIfDone();
        return;
    }
    auto* quality = new QComboBox;
    for (const QualityRow& q : QualityTable) {
        const auto match =
            std::find_if(r.matches.begin(), r.matches.end(), [&q](const LinkMatch& m) { return m.quality == &q; });
        if (match != r.matches.end()) {
            quality->addItem(QString::fromLatin1(q.label), static_cast<int>(match - r.matches.begin()));
        }
    }
    auto* keep = new QComboBox;
    FillKeep(keep, KeepForm::Video);
    quality->setAccessibleName(tr("Quality"));
    keep->setAccessibleName(tr("Keep"));
    m_table->setCellWidget(row, QualityColumn, quality);
    m_table->setCellWidget(row, KeepColumn, keep);
    Choose(row, m_qualityForAll->currentData().toInt(), static_cast<KeepForm>(m_keepForAll->currentData().toInt()));
    ShowDownloadedBefore(row, true);
    const auto changed = [this, row] { ShowDownloadedBefore(row, false); };
    connect(quality, &QComboBox::activated, this, changed);
    connect(keep, &QComboBox::activated, this, [this, row, quality, keep] {
        quality->setEnabled(keep->currentData().toInt() == static_cast<int>(KeepForm::Video));
        ShowDownloadedBefore(row, false);
    });
    if (m_committed && m_table->item(row, VideoColumn)->checkState() == Qt::Checked) {
        StartRow(row);
    }
    FinishIfDone();
}

void LinkListDialog::Choose(int row, int quality, KeepForm keep) {
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    auto* qualityBox = qobject_cast<QComboBox*>(m_table->cellWidget(row, QualityColumn));
    auto* keepBox = qobject_cast<QComboBox*>(m_table->cellWidget(row, KeepColumn));
    if (!qualityBox || !keepBox || r.started) {
        return;
    }
    keepBox->setCurrentIndex(keepBox->findData(static_cast<int>(keep)));
    // The sound alone comes from the stream with the best sound, whatever the quality.
    const std::size_t chosen = *ChooseKept(r.matches, KeepForm::Video, quality);
    qualityBox->setCurrentIndex(
        std::max(0, qualityBox->findText(QString::fromLatin1(r.matches[chosen].quality->label))));
    qualityBox->setEnabled(keep == KeepForm::Video);
    ShowDownloadedBefore(row, false);
}

std::optional<PageStream> LinkListDialog::SourceOf(int row) const {
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    const auto* qualityBox = qobject_cast<QComboBox*>(m_table->cellWidget(row, QualityColumn));
    const auto* keepBox = qobject_cast<QComboBox*>(m_table->cellWidget(row, KeepColumn));
    if (r.failed || !qualityBox || !keepBox) {
        return std::nullopt;
    }
    const auto keep = static_cast<KeepForm>(keepBox->currentData().toInt());
    const std::size_t chosen =
        keep == KeepForm::Video ? static_cast<std::size_t>(qualityBox->currentData().toInt()) : *ChooseSound(r.matches);
    return PageStream{r.link, r.page.title, r.page.videoId, r.matches[chosen]};
}

void LinkListDialog::ShowDownloadedBefore(int row, bool uncheck) {
    const std::optional<PageStream> source = SourceOf(row);
    if (!source || m_rows[static_cast<std::size_t>(row)].started) {
        return;
    }
    const std::vector<StoredDownload> done = m_downloads->DownloadedBefore(*source);
    if (done.empty()) {
        SetStatus(row, QString());
        return;
    }
    if (uncheck) {
        m_table->item(row, VideoColumn)->setCheckState(Qt::Unchecked);
    }
    SetStatus(row, tr("Downloaded on %1")
                       .arg(QLocale().toString(QDateTime::fromSecsSinceEpoch(done.front().ended).date(),
                                               QLocale::ShortFormat)));
}

void LinkListDialog::SetStatus(int row, const QString& text) {
    QTableWidgetItem* status = m_table->item(row, StatusColumn);
    status->setText(text);
    status->setToolTip(text); // a reason may be longer than the column
}

void LinkListDialog::DownloadAll() {
    const QString folder = m_folder->text().trimmed();
    if (const auto problem = FolderProblem(folder)) {
        QMessageBox::warning(this, QString::fromLatin1(constants::kMessageTitle),
                             tr("Downloads cannot go to %1: %2").arg(folder, *problem));
        return;
    }
    m_committed = true;
    m_download->setEnabled(false);
    m_folder->setEnabled(false);
    for (int row = 0; row < static_cast<int>(m_rows.size()); ++row) {
        if (m_table->item(row, VideoColumn)->checkState() != Qt::Checked) {
            continue;
        }
        if (!StartRow(row)) {
            SetStatus(row, tr("Downloads once its page has come"));
        }
    }
    FinishIfDone();
}

bool LinkListDialog::StartRow(int row) {
    Row& r = m_rows[static_cast<std::size_t>(row)];
    const std::optional<PageStream> source = SourceOf(row);
    if (!source || r.started) {
        return r.started;
    }
    const auto keep =
        static_cast<KeepForm>(qobject_cast<QComboBox*>(m_table->cellWidget(row, KeepColumn))->currentData().toInt());
    r.started = true;
    for (const int column : {QualityColumn, KeepColumn}) {
        m_table->cellWidget(row, column)->setEnabled(false);
    }
    SetStatus(row, tr("In the downloads list"));
    Q_EMIT Started(
        m_downloads->Start(*source, KeptTarget(*source, m_folder->text().trimmed().toStdString(), keep), keep));
    return true;
}

void LinkListDialog::FinishIfDone() {
    // Rows left unchecked are not waited for.
    const bool waiting = std::ranges::any_of(m_rows, [this](const Row& r) {
        return !r.fetched &&
               m_table->item(static_cast<int>(&r - m_rows.data()), VideoColumn)->checkState() == Qt::Checked;
    });
    if (m_committed && !waiting) {
        accept();
    }
}

void LinkListDialog::done(int result) {
    m_closed = true;
    m_queue->Stop(); // nothing more is fetched, nor started
    QDialog::done(result);
}

} // namespace veltrin
