#pragma once

#include "library/downloads.h"

#include <QStyledItemDelegate>
#include <QTimer>
#include <QWidget>

#include <utility>
#include <vector>

class QListView;
class QPushButton;

namespace veltrin {

// Draws a row of the list: its name elided in the middle, a progress bar, what it is doing, and
// the buttons of what can be done, which stay in view at any name's length.
class DownloadDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit DownloadDelegate(Downloads* downloads, QObject* parent)
        : QStyledItemDelegate(parent), m_downloads(downloads) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // Where the row's button for action is drawn within rect; empty when the row has none.
    QRect ButtonRect(const QRect& rect, const QFontMetrics& metrics, int row, Downloads::Action action) const;
    static QString ButtonText(Downloads::Action action);

Q_SIGNALS:
    void Clicked(int row, veltrin::Downloads::Action action);

private:
    Downloads* m_downloads;
};

// The one window that lists the downloads, those of earlier runs too. Closing it stops nothing.
class DownloadsWindow : public QWidget {
    Q_OBJECT
public:
    explicit DownloadsWindow(Downloads* downloads, QWidget* parent = nullptr);

    // Brings a download that has just been added into view.
    void Track(int id);
    QListView* View() const { return m_view; }
    // Where the row's button for action is, in the view's viewport; empty when the row has none.
    QRect ButtonAt(int row, Downloads::Action action) const;
    // The buttons under the list, for the row that has the keyboard's focus; hidden when that row
    // has no such action.
    QPushButton* ButtonFor(Downloads::Action action) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Act(int row, Downloads::Action action);
    void ClearFinished();
    void ShowCurrentActions();

    Downloads* m_downloads;
    bool m_shownBefore = false; // the list was read when this window was made
    // While shown, rows another window runs are read again now and then: that window writes each
    // change of state to the list, and nothing tells this one.
    QTimer m_followElsewhere;
    QListView* m_view;
    DownloadDelegate* m_delegate;
    QPushButton* m_clear;
    std::vector<std::pair<Downloads::Action, QPushButton*>> m_current;
};

} // namespace veltrin
