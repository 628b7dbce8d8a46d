#include "AccountConsole.h"

#include "EngineRig.h"
#include "ProcessProbe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <sys/types.h>

namespace {

uid_t uidOf(const QString& account)
{
    const passwd* entry = ::getpwnam(account.toLocal8Bit().constData());
    return entry ? entry->pw_uid : 0;
}

bool writeFile(const QString& path, const QString& text)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

bool AccountConsole::ensureAccount(const QString& account, QString* error)
{
    if (uidOf(account) == 0)
        QProcess::execute(QStringLiteral("useradd"), {QStringLiteral("--system"), QStringLiteral("--user-group"),
                                                      QStringLiteral("--no-create-home"), QStringLiteral("--shell"),
                                                      QStringLiteral("/usr/sbin/nologin"), account});
    if (uidOf(account) != 0)
        return true;
    *error = QStringLiteral("the account %1 could not be created").arg(account);
    return false;
}

AccountConsole::AccountConsole(QString account)
    : m_account(std::move(account))
{
    m_memoryWatch.setInterval(200);
    QObject::connect(&m_memoryWatch, &QTimer::timeout, [this] {
        const qint64 kb = ProcessProbe::residentKb(enginePid());
        if (kb > EngineMemoryWatch::kLimitKb && ::kill(pid_t(enginePid()), SIGKILL) == 0)
            m_runaway = QStringLiteral("engine memory ran away (%1 kB): killed").arg(kb);
    });
}

AccountConsole::~AccountConsole()
{
    QString ignored;
    stop(&ignored);
}

bool AccountConsole::start(const ConfigRecord& record, quint16 sipPort, const QStringList& settings, QString* error)
{
    const QString program = m_dir.path() + QStringLiteral("/prog");
    const QString data = home() + QStringLiteral("/.local/share");
    const QString engineConfig = QStringLiteral("[sip]\nsip_port=%1\nsip_tcp_port=0\nsip_tls_port=0\n").arg(sipPort);
    const QString settingsText = QStringLiteral("[settings]\n") + settings.join(QLatin1Char('\n')) + QLatin1Char('\n');
    const QStringList chown{QStringLiteral("-R"), m_account + QLatin1Char(':'), m_dir.path()};
    // The engine needs its own folder, or it answers every call with 503.
    if (!m_dir.isValid() || !QDir().mkpath(data + QStringLiteral("/linphone"))
        || !QDir().mkpath(home() + QStringLiteral("/run"))
        || !writeFile(data + QStringLiteral("/qzconsole/linphonerc"), engineConfig)
        || !writeFile(home() + QStringLiteral("/.config/qzr/qzr.conf"), settingsText)
        || !EngineRig::prepareProgramDir(program, record, QStringLiteral(QZ_PROGRAM_DIR), error)
        || !QFile::copy(QStringLiteral(QZ_PROGRAM_DIR "/qzconsole"), program + QStringLiteral("/qzconsole"))
        || !QFile::setPermissions(home() + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner
                                                                       | QFile::ExeOwner)
        || QProcess::execute(QStringLiteral("chown"), chown) != 0) {
        *error = QStringLiteral("cannot lay out %1 for %2 %3").arg(m_dir.path(), m_account, *error);
        return false;
    }
    // A clean environment: this process's XDG folders are another desk's. setpriv: the console goes when runuser
    // does, which goes with this process.
    m_runner.setWorkingDirectory(program);
    const QStringList command{QStringLiteral("-u"), m_account, QStringLiteral("--"), QStringLiteral("setpriv"),
                              QStringLiteral("--pdeathsig"), QStringLiteral("TERM"), QStringLiteral("--"),
                              QStringLiteral("env"), QStringLiteral("-i"),
                              QStringLiteral("PATH=/usr/local/bin:/usr/bin:/bin"), QStringLiteral("HOME=") + home(),
                              QStringLiteral("XDG_RUNTIME_DIR=") + home() + QStringLiteral("/run"),
                              QStringLiteral("DISPLAY=") + qEnvironmentVariable("DISPLAY"),
                              QStringLiteral("QT_QPA_PLATFORM=")
                                  + qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb")),
                              program + QStringLiteral("/qzconsole")};
    if (!m_runner.start(QStringLiteral("runuser"), command, m_dir.path() + QStringLiteral("/output.log"), error))
        return false;
    m_memoryWatch.start();
    if (QTest::qWaitFor([this] { return enginePid() != 0 && pid() != 0; }, 45000))
        return true;
    *error = QStringLiteral("%1's console started no engine\n").arg(m_account) + log()
             + EngineRig::readText(m_dir.path() + QStringLiteral("/output.log"));
    return false;
}

bool AccountConsole::stop(QString* error)
{
    error->clear();
    const qint64 console = pid();
    const qint64 engine = enginePid();
    if (console != 0 && ::kill(pid_t(console), SIGTERM) == 0
        && !QTest::qWaitFor([console] { return ProcessProbe::gone(console); }, 15000)) {
        ::kill(pid_t(console), SIGKILL);
        *error = QStringLiteral("%1's console did not end after SIGTERM: killed. ").arg(m_account);
    }
    if (engine != 0 && !QTest::qWaitFor([engine] { return ProcessProbe::gone(engine); }, 5000)
        && ProcessProbe::commandLine(engine).contains(QLatin1String("linphonec"))) {
        ::kill(pid_t(engine), SIGKILL);
        *error += QStringLiteral("%1's engine (pid %2) outlived the console: killed").arg(m_account).arg(engine);
    }
    m_memoryWatch.stop();
    if (!m_runner.waitForExit(3000))
        m_runner.kill();
    return error->isEmpty();
}

qint64 AccountConsole::pid() const
{
    // runuser waits for its one child, the console.
    const qint64 runner = m_runner.pid();
    return runner == 0 ? 0
                       : EngineRig::readText(QStringLiteral("/proc/%1/task/%1/children").arg(runner))
                             .section(QLatin1Char(' '), 0, 0)
                             .toLongLong();
}

qint64 AccountConsole::enginePid() const
{
    // The latest engine: a lost one is replaced.
    static const QRegularExpression started(QStringLiteral("started linphonec \\(pid (\\d+)\\)"));
    qint64 pid = 0;
    for (auto it = started.globalMatch(log()); it.hasNext();)
        pid = it.next().captured(1).toLongLong();
    return pid;
}

QString AccountConsole::log() const
{
    return EngineRig::readText(m_dir.path() + QStringLiteral("/prog/qz.log"));
}

QString AccountConsole::engineSocket() const
{
    return QStringLiteral("/tmp/linphonec-%1").arg(uidOf(m_account));
}
