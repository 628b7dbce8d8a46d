// qz-writecfg: writes a qzp.cfg for demos and tests, so nobody starts the
// console on its built-in default station.
//
//   qz-writecfg FILE [--station INDEX,IP[,EXTENSION[,DESCRIPTION]]]...
//                    [--server HOST,USER,PASSWORD] [--popup 0|1]

#include "ConfigFile.h"
#include "ConfigRecord.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

int usage()
{
    QTextStream(stderr) << "usage: qz-writecfg FILE [--station INDEX,IP[,EXT[,DESC]]]... "
                           "[--server HOST,USER,PASSWORD] [--popup 0|1]\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();

    ConfigRecord record; // all empty: only what is asked for is active
    record.popupOnCall = 1;
    for (int i = 1; i < args.size(); ++i) {
        const QString& opt = args.at(i);
        if (i + 1 >= args.size())
            return usage();
        const QStringList parts = args.at(++i).split(QLatin1Char(','));
        if (opt == QLatin1String("--station")) {
            bool ok = false;
            const int s = parts.value(0).toInt(&ok);
            if (!ok || s < 0 || s >= ConfigRecord::kStations || parts.size() < 2)
                return usage();
            record.active[s] = 1;
            record.ipAddress[s] = parts.at(1);
            record.extension[s] = parts.value(2);
            record.description[s] = parts.size() > 3 ? parts.mid(3).join(QLatin1Char(',')) : QStringLiteral("Varco %1").arg(s + 1);
            record.param(ConfigRecord::kLockRelayParam, s) = 1;
            record.param(ConfigRecord::kLightRelayParam, s) = 10;
        } else if (opt == QLatin1String("--server")) {
            if (parts.size() != 3)
                return usage();
            record.useSipServer = 1;
            record.serverAddress = parts.at(0);
            record.userId = parts.at(1);
            record.password = parts.at(2);
        } else if (opt == QLatin1String("--popup")) {
            record.popupOnCall = qint16(parts.value(0).toInt());
        } else {
            return usage();
        }
    }
    QString error;
    if (!ConfigFile::writeFile(args.first(), record, &error)) {
        QTextStream(stderr) << "qz-writecfg: " << error << "\n";
        return 1;
    }
    return 0;
}
