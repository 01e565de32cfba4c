#pragma once

#include "panel.h"

#include <QHash>
#include <QObject>
#include <QTimer>

// A panel without a window: fields held in memory and a real watchdog timer, for tests and tools.
class MemoryPanel : public QObject, public Panel
{
    Q_OBJECT

public:
    explicit MemoryPanel(QObject *parent = nullptr);

    QString text(Field field) const override { return m_texts.value(field); }
    void setText(Field field, const QString &text) override { m_texts.insert(field, text); }
    void setBackground(Field field, quint32 bgr) override { m_backgrounds.insert(field, bgr); }
    void setWatchdogEnabled(bool enabled) override;
    void setMissCause(const QString &line) override { m_missCause = line; }
    void setFileProblem(const QString &line) override { m_fileProblem = line; }
    QString missCause() const { return m_missCause; }
    QString fileProblem() const { return m_fileProblem; }
    void processEvents(QEventLoop::ProcessEventsFlags flags) override;

    // 0 until a background has been set.
    quint32 background(Field field) const { return m_backgrounds.value(field); }
    QTimer &watchdog() { return m_watchdog; }
    // Event passes run so far; a wait that spins runs thousands where a sleeping one runs a few.
    int passes() const { return m_passes; }

private:
    QHash<Field, QString> m_texts;
    QHash<Field, quint32> m_backgrounds;
    QTimer m_watchdog;
    QString m_missCause;
    QString m_fileProblem;
    int m_passes = 0;
};
