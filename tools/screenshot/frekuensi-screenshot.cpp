// frekuensi-screenshot: renders the running window, polling the simulated device, into a PNG;
// with --trend, the trend window over ten minutes of a drifting grid at 0,25 s, with a sag below
// the band, a one-poll spike and a silence of the meter, listed as events; with --trend-faults
// besides, a wall clock 2 h behind at the start and set right at minute 5, and a garbled reply read
// as 500 Hz; with --trend-events besides, the silence chosen in the list, the chart around it.
#include "frekuensi.h"
#include "gridevents.h"
#include "history.h"
#include "simulateddevice.h"
#include "translation.h"
#include "trendwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cmath>

using namespace std::chrono_literals;

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    // --trend=LOCALE: the trend window in that language and notation.
    const QString trendLocale = args.filter(QRegularExpression(u"^--trend="_qs)).value(0).mid(8);
    const bool trend = !trendLocale.isEmpty();
    const bool faults = args.contains(u"--trend-faults"_qs);
    const bool chosen = args.contains(u"--trend-events"_qs);
    const QString output = args.size() > (trend ? 2 : 1) + (faults ? 1 : 0) + (chosen ? 1 : 0)
                               ? args.last()
                               : u"frekuensi.png"_qs;
    if (trend) {
        constexpr int kPolls = 10 * 60 * 4;
        const QLocale locale(trendLocale);
        const Translation translation(locale);
        const QString cause = MissCause(MissCause::NoReply, u"COM3"_qs, {}, 200).text();
        History history(std::chrono::milliseconds(kPolls * 250));
        GridEvents events;
        int misses = 0;
        const QDateTime started = history.clockTime(0);
        if (faults)
            history.noteClock(0, started.addSecs(-2 * 3600));
        for (int poll = 0; poll < kPolls; ++poll) {
            const double minute = poll / 240.0;
            double hertz = 50.0 + 0.06 * std::sin(minute * 1.3) + 0.02 * std::sin(poll * 0.7);
            if (minute > 3 && minute < 4.5) // a sag below the band, and back
                hertz -= 0.28 * std::sin((minute - 3) / 1.5 * M_PI);
            if (poll == 1800)
                hertz = 50.31;             // one poll's spike
            if (faults && poll == 5 * 240) // the clock set right
                history.noteClock(poll * 250, started.addMSecs(poll * 250));
            if (faults && poll == 2000)
                hertz = 500.0;
            const bool silent = minute > 6.5 && minute < 6.9;
            const int centihertz = int(std::lround(hertz * 100));
            history.add(poll * 250, silent ? History::Outcome::Miss : History::Outcome::Reading,
                        centihertz);
            if (silent)
                events.miss(poll * 250, ++misses, cause);
            else
                events.reading(poll * 250, centihertz), misses = 0;
        }
        TrendWindow window(history, events, locale);
        window.show();
        if (chosen) {
            // The silence, second in the list after the spike.
            window.eventList()->setFocus();
            window.eventList()->setCurrentRow(1);
            window.showAround(events.within(0, history.now())[1]);
        }
        QTimer::singleShot(1000ms, &window, [&] {
            const bool saved = window.grab().save(output);
            QTextStream(stdout) << (saved ? "saved " : "could not save ") << output << '\n';
            QCoreApplication::exit(saved ? 0 : 1);
        });
        return app.exec();
    }

    SimulatedDevice device;
    if (!device.plugIn())
        return 1;
    device.setAnswer("9990\r\n\r\n", 40ms);
    QTemporaryDir dir;
    Frekuensi window(device.devicePath(), dir.path(), QLocale(QLocale::Indonesian));
    window.show();
    QTimer::singleShot(0, &window, [&] {
        QTextStream(stdout) << "window shown " << sinceStart.elapsed() << " ms after start\n";
    });
    // Two polls at the start-up interval of one second, then the picture.
    QTimer::singleShot(2500ms, &window, [&] {
        const bool saved = window.grab().save(output);
        QTextStream(stdout) << (saved ? "saved " : "could not save ") << output << '\n';
        QCoreApplication::exit(saved ? 0 : 1);
    });
    return app.exec();
}
