#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace veltrin {

// A picture box: shows its picture at its own pixel size and takes the focus like a control.
// It has no pressed, hover or focus look, and reports only a completed mouse click. One made as a
// button is a push button to assistive technologies too, whose press action is a click.
class PictureBox : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(const QString& resource, QWidget* parent = nullptr, bool button = false);
    bool IsButton() const { return m_button; }

Q_SIGNALS:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The Menu key and Shift+F10 ask for a context menu, as on any control with the focus.
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_pressed = false;
    bool m_button;
};

// The single-line link box; reports the character code of every key press before it is handled.
// Like the desktop's own text boxes, its caret stops blinking after a while without input: a
// blinking caret repaints the window twice a second for as long as it sits there.
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);
    // The caret's flash time is the whole application's: it goes back to the desktop's.
    ~TextBox() override;

    static constexpr int kBlinkTimeoutMs = 10000;
    static constexpr qsizetype kLongText = 10000;
    void SetBlinkTimeout(int ms) { m_blinkTimeout.setInterval(ms); }
    bool CaretBlinks() const;

Q_SIGNALS:
    void KeyPress(int keyAscii);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void Wake();

    QTimer m_blinkTimeout;
    int m_desktopFlashTime;
};

// A timer control. A tick is not delivered while the handler of an earlier one is still running,
// as when that handler waits in a modal box, whose own event loop would deliver further ticks.
class Timer : public QObject {
    Q_OBJECT
public:
    Timer(int intervalMs, QObject* parent);

    // Starts ticking; a timer that ticks already keeps its rhythm.
    void Start() {
        if (!m_timer.isActive()) {
            m_timer.start();
        }
    }
    void Stop() { m_timer.stop(); }

Q_SIGNALS:
    void Tick();

private:
    void OnTimeout();

    QTimer m_timer;
    bool m_inHandler = false;
};

} // namespace veltrin
