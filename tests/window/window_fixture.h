#pragma once

// A window loaded against a loopback server, in a folder of its own.

#include "desktop/desktop_integration.h"
#include "desktop/user_settings.h"
#include "site/sample_site.h"
#include "support/loopback_server.h"
#include "support/temporary_folder.h"
#include "window/controls.h"
#include "window/main_window.h"
#include "window/web_browser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

namespace veltrin::testing {

namespace fs = std::filesystem;

inline const std::string kWatchPage =
    WatchPage("", "", {{"http://v.test/a?itag=22", "hd720"}, {"http://v.test/b?itag=5", "small"}});

// Answers the message boxes that open, as a user would, and keeps what each one showed. A box
// is answered once it has been open for holdMs; react runs while it is open, just before.
class BoxAnswerer {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QWidget* parent;
    };
    std::vector<Seen> seen;
    std::vector<QMessageBox::StandardButton> answers; // in turn; the last one repeats
    int holdMs = 0;
    std::function<void(const Seen&)> react;

    explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> turns = {}, int hold = 0)
        : answers(std::move(turns)), holdMs(hold) {
        m_poll.callOnTimeout([this] { Poll(); });
        m_poll.start(10);
    }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || m_reacting) {
            return;
        }
        const auto [open, added] = m_open.try_emplace(box, seen.size(), QDeadlineTimer(holdMs));
        if (added) {
            QAbstractButton* deflt = box->defaultButton();
            seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                            deflt ? box->standardButton(deflt) : QMessageBox::NoButton, box->parentWidget()});
        }
        if (!open->second.second.hasExpired()) {
            return;
        }
        const std::size_t index = open->second.first;
        m_open.erase(open); // the next box may have this one's address
        if (react) {
            m_reacting = true; // react may spin the event loop
            react(seen[index]);
            m_reacting = false;
        }
        const std::size_t turn = std::min(m_answered++, answers.size() - 1);
        if (QAbstractButton* button = box->button(answers.empty() ? QMessageBox::Ok : answers[turn])) {
            button->click();
        } else {
            box->accept();
        }
    }

    QTimer m_poll;
    std::map<QMessageBox*, std::pair<std::size_t, QDeadlineTimer>> m_open;
    std::size_t m_answered = 0;
    bool m_reacting = false;
};

// Puts text on the clipboard, or a picture when image is set.
inline void SetClipboard(const QString& text, bool image = false) {
    if (image) {
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QGuiApplication::clipboard()->setImage(picture);
    } else {
        QGuiApplication::clipboard()->setText(text);
    }
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        m_server->Get("/watch", [](const auto&, auto& res) { res.set_content(kWatchPage, "text/html"); });
        m_server->Get("/plain", [this](const auto&, auto& res) {
            ++m_plainFetches;
            res.set_content("<html>nothing</html>", "text/html");
        });
        m_server->Get("/ad", [this](const auto&, auto& res) {
            ++m_adFetches;
            res.set_content("ad", "text/html");
        });
        m_server.Start();
        QGuiApplication::clipboard()->clear();
        OpenSettingsStore()->clear(); // what an earlier test chose ends with it
        Open();
    }
    // Whatever a test pretends of the notification area ends with it.
    void TearDown() override {
        m_window.reset();
        QGuiApplication::clipboard()->clear();
        m_server.Stop();
        DesktopIntegration::SetNotificationAreaForTesting(std::nullopt);
    }

    // A new window, loaded and shown, in place of the last one.
    void Open() {
        m_window.reset();
        MainWindow::Settings settings{m_server.Url("/ad"), m_folder, m_folder / "fallback",
                                      m_folder / "downloads.sqlite"};
        m_window = std::make_unique<MainWindow>(settings);
        m_window->Start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }

    QString Link(const std::string& path) const { return QString::fromStdString(m_server.Url(path)); }

    // Hides the window behind its icon, and keeps what it tells the user meanwhile ("title|text").
    void HideBehindIcon() {
        DesktopIntegration::SetNotificationAreaForTesting(true);
        m_window->SetNotifier(
            [this](const QString& title, const QString& text) { m_said << title + QLatin1Char('|') + text; });
        m_window->setWindowState(Qt::WindowMinimized);
        ASSERT_FALSE(m_window->isVisible());
    }

    // Runs a Go by Enter in the link box and, unless told otherwise, waits for its fetches.
    void Go(const QString& link, bool wait = true) {
        m_window->LinkBox()->setText(link);
        m_window->LinkBox()->setFocus();
        QTest::keyClick(m_window->LinkBox(), Qt::Key_Return);
        if (wait) {
            WaitForGo();
        }
    }
    void WaitForGo() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_window->GoRunning(); }, 10000));
    }

    LoopbackServer<> m_server;
    std::atomic<int> m_adFetches{0};
    std::atomic<int> m_plainFetches{0};
    // Not ASCII, as many users' home folders are not: the program and fallback folders are in it.
    TemporaryFolder m_folder{"veltrin-fen\u00EAtre-\u7A93"};
    std::unique_ptr<MainWindow> m_window;
    QStringList m_said;
};

} // namespace veltrin::testing
