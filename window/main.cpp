// frekuensi: polls the measuring device on port 3 and shows its reading.
#include "frekuensi.h"
#include "portsettings.h"
#include "readingfile.h"
#include "singleinstance.h"
#include "translation.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const Translation translation;
    // One monitor polls the port, whichever user or folder started it.
    SingleInstance guard(u"port%1"_qs.arg(PortSettings::kPortNumber),
                         SingleInstance::Scope::Machine);
    const QString port = PortSettings::deviceFor(PortSettings::portName());
    if (const std::optional<int> status = guard.claimOrHandOver(port))
        return *status;
    // The reading file goes beside the executable, wherever the program is started from; the
    // package's link there leads it into the package's data folder, wherever it leads now.
    const QString programFolder = QCoreApplication::applicationDirPath();
    Frekuensi window(PortSettings::portName(), ReadingFile::folderFor(programFolder));
    window.pollCycle().readingWriter().followProgramFolder(programFolder);
    QObject::connect(&guard, &SingleInstance::forwardRequested, &window, &Frekuensi::bringForward);
    QObject::connect(&guard, &SingleInstance::closeRequested, &window, &Frekuensi::exit);
    window.show();
    const int status = app.exec();
    // The window is gone: a new start may poll while the last write of freq.text finishes.
    guard.release();
    return status;
}
