#pragma once

#include "simulatedmeter.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

// A measuring device on the far side of a pseudo-terminal: answers each request "1" as told.
class SimulatedDevice : public QObject, public SimulatedMeter
{
    Q_OBJECT

public:
    using Answer = MeterAnswer;
    using Responder = MeterResponder;

    explicit SimulatedDevice(QObject *parent = nullptr);
    ~SimulatedDevice() override;

    // Opens the pseudo-terminal; false when the system has none to give.
    bool plugIn();
    // Closes both sides: the program's port sees the device vanish.
    void unplug() override;
    bool isPluggedIn() const { return m_master >= 0; }

    // The path the program opens as its serial port.
    QString devicePath() const { return m_path; }
    // The device side of the line, held open so that the line keeps its settings between polls.
    int lineDescriptor() const { return m_slave; }

    void setResponder(Responder responder) override { m_responder = std::move(responder); }

    // Losing: what the device sends while no one else has the line open is lost, and so is what
    // was left unread at the last close, as with a UART whose driver clears its receive FIFO at
    // open; otherwise the line keeps it, as a pseudo-terminal does. False when the system cannot
    // tell when the line is opened (Linux's inotify follows it).
    bool setLosingWhileClosed(bool losing);

    // Writes bytes on the line now, unasked.
    bool write(const QByteArray &bytes);
    // Keeps writing the bytes unasked, every interval, until unplugged; empty bytes stop it.
    void chatter(const QByteArray &bytes, std::chrono::milliseconds interval);

    int requestCount() const override { return m_requests; }
    // Off for long runs, where the lists of times would grow without end.
    void setKeepingTimes(bool keep) { m_keepingTimes = keep; }
    // When each request arrived, in nanoseconds of a monotonic clock.
    const QList<qint64> &requestTimes() const { return m_requestTimes; }
    // When the last byte of each answer was written, on the same clock.
    const QList<qint64> &answerTimes() const { return m_answerTimes; }

signals:
    void requestReceived(int request);
    void answered(int request);

private:
    void readRequests();
    void followOpens();
    bool watchOpens();
    void answerLater(int request, const Answer &answer);

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QSocketNotifier *m_notifier = nullptr;
    Responder m_responder;
    int m_requests = 0;
    bool m_keepingTimes = true;
    QList<qint64> m_requestTimes;
    QList<qint64> m_answerTimes;
    QList<QTimer *> m_pending;
    QTimer *m_chatter = nullptr;
    bool m_losing = false;
    int m_openWatch = -1; // inotify's, on the line's path
    QSocketNotifier *m_openNotifier = nullptr;
    int m_othersHolding = 0; // opens of the line, less its closes, since the watch began
};
