#include "window/downloads_window.h"

#include "window/constants.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace veltrin {

namespace {

constexpr int kMargin = 6;
constexpr int kBarHeight = 12;

int LineHeight(const QFontMetrics& metrics) { return metrics.height() + 4; }

// The status line, with the buttons at its right: the third line of a row.
int ButtonTop(const QRect& rect, const QFontMetrics& metrics) {
    return rect.top() + kMargin + LineHeight(metrics) + kBarHeight + kMargin / 2;
}

} // namespace

QString DownloadDelegate::ButtonText(Downloads::Action action) {
    switch (action) {
    case Downloads::Action::Pause: return tr("Pause");
    case Downloads::Action::Resume: return tr("Resume");
    case Downloads::Action::Cancel: return tr("Cancel");
    case Downloads::Action::Retry: return tr("Retry");
    case Downloads::Action::Open: return tr("Open");
    case Downloads::Action::Folder: return tr("Show in folder");
    case Downloads::Action::Remove: return tr("Remove from list");
    }
    return {};
}

QRect DownloadDelegate::ButtonRect(const QRect& rect, const QFontMetrics& metrics, int row,
                                   Downloads::Action action) const {
    const std::vector<Downloads::Action> actions = m_downloads->Actions(row);
    int right = rect.right() - kMargin;
    for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
        const int width = metrics.horizontalAdvance(ButtonText(*it)) + 16;
        const QRect button(right - width + 1, ButtonTop(rect, metrics), width, LineHeight(metrics) + 4);
        if (*it == action) {
            return button;
        }
        right -= width + 4;
    }
    return {};
}

QSize DownloadDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const QFontMetrics metrics(option.font);
    return {200, ButtonTop({}, metrics) + LineHeight(metrics) + 4 + kMargin};
}

void DownloadDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, option.widget);
    const QRect rect = option.rect;
    const QFontMetrics metrics(option.font);
    const int width = rect.width() - 2 * kMargin;
    QFont bold = option.font;
    bold.setBold(true);
    painter->save();
    painter->setFont(bold);
    const QString name = QFontMetrics(bold).elidedText(index.data().toString(), Qt::ElideMiddle, width);
    painter->drawText(QRect(rect.left() + kMargin, rect.top() + kMargin, width, LineHeight(metrics)),
                      Qt::AlignLeft | Qt::AlignVCenter, name);
    painter->restore();

    QStyleOptionProgressBar bar;
    bar.rect = QRect(rect.left() + kMargin, rect.top() + kMargin + LineHeight(metrics), width, kBarHeight);
    const int progress = index.data(Downloads::ProgressRole).toInt();
    bar.minimum = 0;
    bar.maximum = progress < 0 ? 0 : 1000;
    bar.progress = std::max(progress, 0);
    bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
    // Until bytes arrive the bar stays empty: with no total known yet the style would draw a busy
    // bar, telling of a transfer that has not begun.
    const DownloadInfo& live = m_downloads->Entry(index.row()).live;
    const bool started = live.received > 0 || live.state == DownloadState::Finished;
    style->drawControl(started ? QStyle::CE_ProgressBar : QStyle::CE_ProgressBarGroove, &bar, painter, option.widget);

    int left = rect.right();
    for (const Downloads::Action action : m_downloads->Actions(index.row())) {
        QStyleOptionButton button;
        button.rect = ButtonRect(rect, metrics, index.row(), action);
        button.text = ButtonText(action);
        button.state = QStyle::State_Enabled | QStyle::State_Raised;
        style->drawControl(QStyle::CE_PushButton, &button, painter, option.widget);
        left = std::min(left, button.rect.left());
    }
    const QRect status(rect.left() + kMargin, ButtonTop(rect, metrics), left - rect.left() - 2 * kMargin,
                       LineHeight(metrics) + 4);
    painter->drawText(status, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(index.data(Downloads::StatusRole).toString(), Qt::ElideRight, status.width()));
}

bool DownloadDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) {
    if (event->type() != QEvent::MouseButtonRelease) {
        return false;
    }
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    for (const Downloads::Action action : m_downloads->Actions(index.row())) {
        if (ButtonRect(option.rect, QFontMetrics(option.font), index.row(), action).contains(at)) {
            Q_EMIT Clicked(index.row(), action);
            return true;
        }
    }
    return false;
}

DownloadsWindow::DownloadsWindow(Downloads* downloads, QWidget* parent)
    : QWidget(parent, Qt::Window), m_downloads(downloads), m_view(new QListView(this)),
      m_delegate(new DownloadDelegate(downloads, this)), m_clear(new QPushButton(tr("Clear finished"), this)) {
    setWindowTitle(tr("Downloads - Veltrin"));
    downloads->Load();
    m_followElsewhere.setInterval(2000);
    connect(&m_followElsewhere, &QTimer::timeout, this, [this] {
        if (!isVisible() || !m_downloads->FollowElsewhere()) {
            m_followElsewhere.stop();
        }
    });
    m_view->setModel(downloads);
    m_view->setItemDelegate(m_delegate);
    m_view->setUniformItemSizes(true); // one height for all: ten thousand rows are laid out at once
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The keyboard moves through the rows; the buttons under the list act on the current one, as
    // those drawn in it do for the mouse.
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setMouseTracking(true);
    m_view->setAccessibleName(tr("Downloads"));
    auto* buttons = new QHBoxLayout;
    for (const Downloads::Action action :
         {Downloads::Action::Pause, Downloads::Action::Resume, Downloads::Action::Cancel, Downloads::Action::Retry,
          Downloads::Action::Open, Downloads::Action::Folder, Downloads::Action::Remove}) {
        auto* button = new QPushButton(DownloadDelegate::ButtonText(action), this);
        buttons->addWidget(button);
        m_current.emplace_back(action, button);
        connect(button, &QPushButton::clicked, this, [this, action] {
            if (const QModelIndex current = m_view->currentIndex(); current.isValid()) {
                Act(current.row(), action);
            }
        });
    }
    buttons->addStretch(1);
    buttons->addWidget(m_clear);
    buttons->setContentsMargins(kMargin, 0, kMargin, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, kMargin);
    layout->addWidget(m_view);
    layout->addLayout(buttons);
    // Tab goes as the eye does: the list, then the buttons under it from left to right.
    QWidget* previous = m_view;
    for (const auto& [action, button] : m_current) {
        setTabOrder(previous, button);
        previous = button;
    }
    setTabOrder(previous, m_clear);
    // Wide enough at its first size for the most buttons a row shows at once (a finished one's),
    // with a gap before Clear finished.
    int widest = 2 * kMargin + m_clear->sizeHint().width() + 4 * buttons->spacing();
    for (const Downloads::Action action :
         {Downloads::Action::Open, Downloads::Action::Folder, Downloads::Action::Remove}) {
        widest += ButtonFor(action)->sizeHint().width() + buttons->spacing();
    }
    resize(std::max(560, widest), 320);
    connect(m_delegate, &DownloadDelegate::Clicked, this, &DownloadsWindow::Act);
    connect(m_clear, &QPushButton::clicked, this, &DownloadsWindow::ClearFinished);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, &DownloadsWindow::ShowCurrentActions);
    connect(m_downloads, &QAbstractItemModel::modelReset, this, &DownloadsWindow::ShowCurrentActions);
    connect(m_downloads, &QAbstractItemModel::layoutChanged, this, &DownloadsWindow::ShowCurrentActions);
    connect(m_downloads, &QAbstractItemModel::dataChanged, this, &DownloadsWindow::ShowCurrentActions);
    connect(m_downloads, &QAbstractItemModel::rowsRemoved, this, &DownloadsWindow::ShowCurrentActions);
    ShowCurrentActions();
}

void DownloadsWindow::showEvent(QShowEvent* event) {
    // Rows another window runs change there: each showing reads them anew.
    if (std::exchange(m_shownBefore, true)) {
        m_downloads->Refresh();
    }
    if (m_downloads->FollowElsewhere()) {
        m_followElsewhere.start();
    }
    QWidget::showEvent(event);
}

void DownloadsWindow::ShowCurrentActions() {
    const QModelIndex current = m_view->currentIndex();
    const std::vector<Downloads::Action> actions =
        current.isValid() ? m_downloads->Actions(current.row()) : std::vector<Downloads::Action>{};
    for (const auto& [action, button] : m_current) {
        button->setVisible(std::ranges::find(actions, action) != actions.end());
    }
}

void DownloadsWindow::ClearFinished() {
    // The row nearest to the current one that stays becomes current, so that its buttons stay.
    const int current = m_view->currentIndex().row();
    std::vector<int> kept; // the rows that stay, by their place before
    for (int row = 0; row < m_downloads->rowCount(); ++row) {
        if (m_downloads->Entry(row).live.state != DownloadState::Finished) {
            kept.push_back(row);
        }
    }
    m_downloads->ClearFinished();
    if (current < 0 || kept.empty() || static_cast<int>(kept.size()) != m_downloads->rowCount()) {
        return;
    }
    // Of two as near, the one that moves up into the cleared one's place, as after a deletion.
    const auto nearest = std::ranges::min_element(
        kept, {}, [current](int row) { return 2 * std::abs(row - current) + (row < current ? 1 : 0); });
    const QModelIndex index = m_downloads->index(static_cast<int>(nearest - kept.begin()));
    m_view->setCurrentIndex(index);
    m_view->scrollTo(index);
}

QPushButton* DownloadsWindow::ButtonFor(Downloads::Action action) const {
    const auto found = std::ranges::find(m_current, action, &std::pair<Downloads::Action, QPushButton*>::first);
    return found == m_current.end() ? nullptr : found->second;
}

void DownloadsWindow::Track(int id) {
    const int row = m_downloads->RowOf(id);
    if (row >= 0) {
        m_view->setCurrentIndex(m_downloads->index(row));
        m_view->scrollTo(m_downloads->index(row));
    }
}

QRect DownloadsWindow::ButtonAt(int row, Downloads::Action action) const {
    const QModelIndex index = m_downloads->index(row);
    m_view->scrollTo(index);
    return m_delegate->ButtonRect(m_view->visualRect(index), m_view->fontMetrics(), row, action);
}

void DownloadsWindow::Act(int row, Downloads::Action action) {
    if (action != Downloads::Action::Open && action != Downloads::Action::Folder) {
        m_downloads->Do(row, action);
        return;
    }
    const QFileInfo file(QString::fromStdString(m_downloads->Entry(row).live.file.string()));
    const QString path = action == Downloads::Action::Open ? file.absoluteFilePath() : file.absolutePath();
    QString why;
    if (!QFileInfo::exists(path)) {
        why = tr("%1 is no longer there.").arg(QDir::toNativeSeparators(path));
    } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        why = tr("No program on this desktop opens %1.").arg(QDir::toNativeSeparators(path));
    }
    if (!why.isEmpty()) {
        QMessageBox::warning(this, QString::fromLatin1(constants::kMessageTitle), why);
    }
}

} // namespace veltrin
