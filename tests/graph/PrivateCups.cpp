#include "PrivateCups.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace veltrane::test {

namespace {

constexpr const char* kPdfPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
constexpr const char* kPdfBackend = "/usr/lib/cups/backend/cups-pdf";
constexpr const char* kPdfConfigFolder = "/etc/cups";

bool writeFile(const QString& path, const QString& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) == text.toUtf8().size();
}

QString executable(const QString& name) {
    return QStandardPaths::findExecutable(
        name, {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/sbin", "/usr/local/bin"});
}

} // namespace

PrivateCups::PrivateCups() {
    const QString suffix = QString::number(QCoreApplication::applicationPid());
    m_queue = "veltrane-pdf-" + suffix;
    m_instance = "veltrane-test-" + suffix;
    m_pdfConfig = QString::fromLatin1(kPdfConfigFolder) + "/cups-pdf-" + m_instance + ".conf";
    if (geteuid() != 0) {
        m_problem = "the PDF printer's backend runs only under a scheduler started as root";
        return;
    }
    for (const char* tool : {"cupsd", "lpadmin", "lpstat", "pdftoppm"}) {
        if (executable(QString::fromLatin1(tool)).isEmpty()) {
            m_problem = QString("%1 is missing (scripts/install-deps installs it)").arg(tool);
            return;
        }
    }
    for (const char* file : {kPdfPpd, kPdfBackend}) {
        if (!QFileInfo::exists(QString::fromLatin1(file))) {
            m_problem = QString("%1 is missing: install printer-driver-cups-pdf").arg(file);
            return;
        }
    }
    if (!m_root.isValid()) {
        m_problem = "no temporary folder";
        return;
    }
    start();
}

bool PrivateCups::start() {
    // The scheduler's filters run as an unprivileged user and must reach its folders.
    QFile::setPermissions(m_root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                             QFileDevice::ExeOther);
    for (const char* folder : {"spool", "cache", "state", "log", "out"}) {
        QDir(m_root.path()).mkdir(QString::fromLatin1(folder));
    }
    const QString socket = path("cups.sock");
    QString files = "ServerRoot " + m_root.path() + "\nFileDevice No\nSystemGroup root\n";
    for (const char* place :
         {"RequestRoot spool", "CacheDir cache", "StateDir state", "AccessLog log/access_log",
          "ErrorLog log/error_log", "PageLog log/page_log", "Printcap printcap"}) {
        const QStringList keyAndName = QString::fromLatin1(place).split(' ');
        files += keyAndName[0] + ' ' + path(keyAndName[1]) + '\n';
    }
    const bool written =
        writeFile(path("cupsd.conf"),
                  "LogLevel warn\nListen " + socket +
                      "\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                      "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                      "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                      "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n"
                      "  </Limit>\n</Policy>\n") &&
        writeFile(path("cups-files.conf"), files);
    if (!written) {
        m_problem = "cannot write the scheduler's configuration";
        return false;
    }

    qputenv("CUPS_SERVER", socket.toLocal8Bit());
    qputenv("CUPS_SERVERROOT", m_root.path().toLocal8Bit());
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");

    m_cupsd = std::make_unique<QProcess>();
    m_cupsd->setProcessChannelMode(QProcess::ForwardedChannels);
    m_cupsd->start(executable("cupsd"),
                   {"-f", "-c", path("cupsd.conf"), "-s", path("cups-files.conf")});
    if (!m_cupsd->waitForStarted(10000)) {
        m_problem = "cupsd does not start: " + m_cupsd->errorString();
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        QString output;
        if (run("lpstat", {"-r"}, &output) && output.contains("scheduler is running")) {
            return true;
        }
        if (m_cupsd->state() == QProcess::NotRunning) {
            break;
        }
        QThread::msleep(50);
    }
    m_problem = "the private cupsd did not come up; see " + path("log/error_log");
    return false;
}

PrivateCups::~PrivateCups() {
    if (m_cupsd) {
        m_cupsd->terminate();
        if (!m_cupsd->waitForFinished(10000)) {
            m_cupsd->kill();
            m_cupsd->waitForFinished(5000);
        }
    }
    QFile::remove(m_pdfConfig);
    // The backend logs per queue into the system's CUPS log folder.
    QFile::remove("/var/log/cups/cups-pdf-" + m_queue + "_log");
}

bool PrivateCups::run(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.start(executable(program), arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        m_lastError = program + " did not finish";
        return false;
    }
    if (output != nullptr) {
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_lastError = program + " " + arguments.join(' ') + ": " +
                      QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    return true;
}

bool PrivateCups::addPdfQueue() {
    if (!writeFile(m_pdfConfig, "Out " + outputFolder() + "\nAnonDirName " + outputFolder() +
                                    "\nAnonUMask 0022\nUserUMask 0022\n")) {
        m_problem = "cannot write " + m_pdfConfig;
        return false;
    }
    if (run("lpadmin", {"-p", m_queue, "-E", "-v", "cups-pdf:/" + m_instance, "-P",
                        QString::fromLatin1(kPdfPpd)}) &&
        run("lpadmin", {"-d", m_queue})) {
        return true;
    }
    m_problem = m_lastError;
    return false;
}

void PrivateCups::removePdfQueue() {
    QString printers;
    run("lpstat", {"-p"}, &printers);
    if (printers.contains(m_queue)) {
        run("lpadmin", {"-x", m_queue});
    }
}

bool PrivateCups::hasPendingJobs() {
    QString jobs;
    return !run("lpstat", {"-o"}, &jobs) || !jobs.trimmed().isEmpty();
}

QString PrivateCups::outputFolder() const {
    return path("out");
}

} // namespace veltrane::test
