#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

class QProcess;

namespace veltrane::test {

// A CUPS scheduler of the test's own: its configuration, spool and logs in a temporary
// folder, listening only on a local socket there, stopped and removed again at the end.
// CUPS_SERVER and CUPS_SERVERROOT point this process (and its children, such as lpadmin) at
// it, and PRINTER and LPDEST are cleared, so no printer of the machine takes part.
//
// The PDF queue is Debian's cups-pdf, whose backend reads its settings only from /etc/cups:
// the queue gets an instance name of its own and a cups-pdf-<instance>.conf there that
// sends its output into the temporary folder; that file is removed again at the end.
// cups-pdf runs only under a scheduler started as root.
class PrivateCups {
public:
    PrivateCups();
    ~PrivateCups();
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    // Empty when the scheduler runs, otherwise why it does not.
    const QString& problem() const { return m_problem; }

    // Adds the PDF queue and makes it the default; false (with problem()) on failure.
    bool addPdfQueue();
    // Deletes the PDF queue if it exists, leaving no printer at all.
    void removePdfQueue();
    // True while the scheduler has jobs that are not finished.
    bool hasPendingJobs();

    const QString& queueName() const { return m_queue; }
    // Where the PDF queue writes its files.
    QString outputFolder() const;

private:
    bool run(const QString& program, const QStringList& arguments, QString* output = nullptr);
    bool start();
    QString path(const QString& name) const { return m_root.filePath(name); }

    QTemporaryDir m_root;
    QString m_queue;
    QString m_instance;
    QString m_pdfConfig;
    std::unique_ptr<QProcess> m_cupsd;
    QString m_problem;
    QString m_lastError; // of the last failed run()
};

} // namespace veltrane::test
