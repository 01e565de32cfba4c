#pragma once

#include "meterline.h"
#include "simulatedmeter.h"

#include <QList>

class QTimer;

// A measuring device inside the program, on a line of its own: no serial port, no driver, no
// pseudo-terminal, so it runs wherever Qt does (the demo on Windows, the poll cycle's tests under
// Wine). It answers each request "1" as told, after the answer's delay, on the thread it lives
// on. It keeps the serial port's contract: a closed line fails every operation but the close; an
// answer still on its way when the line is closed waits for the next open, which finds it stale
// and discards it, as a port's driver keeps a late reply; what was received and not read is lost
// at the close; an unplugged meter closes an open line as a vanished device does, and opens then
// fail as a missing port's do.
class SimulatedLine : public MeterLine, public SimulatedMeter
{
    Q_OBJECT

public:
    explicit SimulatedLine(const QString &name, QObject *parent = nullptr);
    ~SimulatedLine() override;

    QString portName() const override { return m_name; }
    bool isOpen() const override { return m_open; }
    bool open() override;
    void close() override;
    bool send(const QByteArray &bytes) override;
    std::optional<qint64> bytesWaiting() const override;
    std::optional<QByteArray> readAll() override;
    std::optional<QByteArray> peekAll() override;
    Failure failure() const override { return m_failure; }
    QString failureText() const override { return m_failureText; }
    bool foundStaleBytes() const override { return m_foundStaleBytes; }

    // The meter's side.
    void setResponder(MeterResponder responder) override { m_responder = std::move(responder); }
    void unplug() override;
    void plugIn() { m_pluggedIn = true; }
    bool isPluggedIn() const { return m_pluggedIn; }
    int requestCount() const override { return m_requests; }

signals:
    void requestReceived(int request);
    // The answer to a request has arrived at the line, open or closed.
    void answered(int request);

private:
    void arrive(int request, const QByteArray &bytes);
    void fail(Failure failure, const QString &text);

    QString m_name;
    MeterResponder m_responder;
    bool m_pluggedIn = true;
    bool m_open = false;
    QByteArray m_received; // arrived while open, not read yet
    QByteArray m_kept;     // arrived while closed: found at the next open
    Failure m_failure = Failure::None;
    QString m_failureText;
    bool m_foundStaleBytes = false;
    int m_requests = 0;
    QList<QTimer *> m_onTheirWay;
};
