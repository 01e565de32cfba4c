// frekuensi: polls the measuring device on port 3 and shows its reading.
#include "frekuensi.h"
#include "portsettings.h"
#include "translation.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const Translation translation;
    // The reading file goes beside the executable, wherever the program is started from.
    Frekuensi window(PortSettings::portName(), QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
