#pragma once

#include "panel.h"
#include "pollcycle.h"

#include <QTimer>
#include <QWidget>

class Announcer;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TrendWindow;

// The monitor's one window: shows the panel fields and routes clicks and timer ticks.
class Frekuensi : public QWidget, public Panel
{
    Q_OBJECT

public:
    // Client area in device-independent pixels: 5775 x 3285 twips at 15 twips a pixel.
    static constexpr QSize kClientSize{385, 219};

    // Polls the serial port of that name.
    Frekuensi(const QString &portName, const QString &fileDirectory,
              const QLocale &locale = QLocale(), QWidget *parent = nullptr);
    // Polls through the line given (the demo's simulated meter).
    Frekuensi(std::unique_ptr<MeterLine> line, const QString &fileDirectory,
              const QLocale &locale = QLocale(), QWidget *parent = nullptr);

    QString text(Field field) const override;
    void setText(Field field, const QString &text) override;
    void setBackground(Field field, quint32 bgr) override;
    void setWatchdogEnabled(bool enabled) override;
    void setMissCause(const QString &line) override;
    void setFileProblem(const QString &line) override;
    void processEvents(QEventLoop::ProcessEventsFlags flags) override;

    PollCycle &pollCycle() { return m_cycle; }
    // Whether the poll timer is meant to tick; an unmatched choice leaves it armed with 0 and idle.
    bool isPollTimerEnabled() const { return m_pollTimerEnabled; }
    const QTimer &pollTimer() const { return m_timer1; }
    const QTimer &watchdogTimer() const { return m_timer2; }

public slots:
    void start();
    void stop();
    void exit();
    // Shows the window in front, restored if it was minimized (a second start asked for it).
    void bringForward();
    // Opens the operator's guide in the window's language in the browser (F1).
    void openGuide();
    // Shows the trend window, made at the first call, in front (F2).
    void showTrend();

public:
    // The guide in the window's language where it is installed: beside the program (Windows),
    // in the package's documents (Linux), or in the build tree; empty when it is nowhere.
    QString guidePath() const;
    // The trend window, once it was asked for.
    TrendWindow *trendWindow() const { return m_trend; }
    // Names a lasting event in the title, beeps and tells it in the tray.
    Announcer *announcer() const { return m_announcer; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLineEdit *field(Field field) const;
    // Closes the port if open and disables both timers (Stop and Exit).
    void haltPolling();
    void placeTrend();
    // The tray's "Show": this window and the trend window, if it is open, in front.
    void bringAllForward();

    QLabel *m_title;
    QLineEdit *m_reading;
    QLineEdit *m_watchdogBox;
    QLineEdit *m_missBox;
    QLineEdit *m_heartbeat;
    QComboBox *m_interval;
    QPushButton *m_start;
    QPushButton *m_stop;
    QPushButton *m_exit;
    QLabel *m_portNumber;
    QLabel *m_portKind;
    // What the reading and the misses box are, before any line on what is going wrong.
    QString m_readingDescription;
    QString m_missDescription;
    QTimer m_timer1;
    QTimer m_timer2;
    PollCycle m_cycle;
    QLocale m_locale;
    TrendWindow *m_trend = nullptr; // a window of its own, deleted with this one
    Announcer *m_announcer;
    bool m_pollTimerEnabled = false;
};
