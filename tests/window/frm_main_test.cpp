#include "window_fixture.h"

#include <QStyleHints>

namespace veltrin::testing {
namespace {

TEST_F(Window, TabWalksTheControlsInTheirOrderBeforeAndAfterTheEngineStarts) {
    frmMain& w = *m_window;
    // The web view takes the focus through an inner widget of its own.
    const auto holder = [&](QWidget* focused) -> QWidget* {
        return focused && (focused == w.wb1() || w.wb1()->isAncestorOf(focused)) ? w.wb1() : focused;
    };
    const auto reaches = [&](QWidget* expected, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        return QTest::qWaitFor([&] { return holder(QApplication::focusWidget()) == expected; }, 2000);
    };
    for (const bool engine : {false, true}) {
        SCOPED_TRACE(engine ? "with the engine" : "before the engine");
        if (engine) {
            Go(QString::fromStdString(m_server.Url("/watch")));
            ASSERT_TRUE(QTest::qWaitFor([&] { return w.wb1()->Url() == QUrl::fromLocalFile(w.ResultsFile()); }));
            w.txtURL()->setFocus();
        }
        ASSERT_EQ(QApplication::focusWidget(), w.txtURL());
        for (QWidget* next : std::initializer_list<QWidget*>{w.picHeader(), w.picFooter(), w.cmdGo(), w.wb1()}) {
            ASSERT_TRUE(reaches(next)) << "expected " << next->objectName().toStdString();
        }
        if (!engine) {
            EXPECT_TRUE(reaches(w.txtURL())) << "out of the empty page, back to the link box";
            w.cmdGo()->setFocus();
            ASSERT_TRUE(reaches(w.wb1()));
        }
        // Shift+Tab walks back, through the page's links first, and the label is never reached.
        for (int press = 0; press < 5 && holder(QApplication::focusWidget()) == w.wb1(); ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            static_cast<void>(QTest::qWaitFor([&] { return holder(QApplication::focusWidget()) != w.wb1(); }, 300));
        }
        EXPECT_EQ(QApplication::focusWidget(), w.cmdGo());
        for (QWidget* previous : std::initializer_list<QWidget*>{w.picFooter(), w.picHeader(), w.txtURL()}) {
            EXPECT_TRUE(reaches(previous, Qt::ShiftModifier)) << "expected " << previous->objectName().toStdString();
        }
    }
}

TEST_F(Window, CaretStopsBlinkingWhenIdleAndWakesOnInput) {
    const int desktopFlashTime = QGuiApplication::styleHints()->cursorFlashTime();
    TextBox* box = m_window->txtURL();
    box->SetBlinkTimeout(100);
    const struct {
        const char* what;
        std::function<void()> act;
    } wakers[] = {
        {"key", [&] { QTest::keyClick(box, Qt::Key_End); }},
        {"click", [&] { QTest::mouseClick(box, Qt::LeftButton); }},
        {"focus",
         [&] {
             m_window->cmdGo()->setFocus();
             box->setFocus();
         }},
    };
    for (const auto& waker : wakers) {
        waker.act();
        EXPECT_TRUE(box->CaretBlinks()) << waker.what;
        EXPECT_TRUE(QTest::qWaitFor([&] { return !box->CaretBlinks(); }, 2000)) << waker.what;
    }
    m_window.reset();
    EXPECT_EQ(QGuiApplication::styleHints()->cursorFlashTime(), desktopFlashTime) << "the setting is the application's";
}

TEST_F(Window, EnterAndClickRunTheGoCommandAndNothingElseDoes) {
    const QString plain = QString::fromStdString(m_server.Url("/plain"));
    Go(plain);
    EXPECT_EQ(m_plainFetches.load(), 1);
    QTest::mouseClick(m_window->cmdGo(), Qt::LeftButton);
    EXPECT_EQ(m_plainFetches.load(), 2);
    m_window->cmdGo()->setFocus();
    QTest::keyClick(m_window->cmdGo(), Qt::Key_Return);
    QTest::keyClick(m_window->cmdGo(), Qt::Key_Space);
    QTest::mouseClick(m_window->picHeader(), Qt::LeftButton);
    QTest::mouseClick(m_window->picFooter(), Qt::LeftButton);
    QTest::mouseClick(m_window->Label1(), Qt::LeftButton);
    EXPECT_EQ(m_plainFetches.load(), 2);
    EXPECT_EQ(m_adFetches.load(), 0) << "a page without the markers fetches no advertisement";
    EXPECT_FALSE(fs::exists(m_folder / "temp.html"));
}

} // namespace
} // namespace veltrin::testing
