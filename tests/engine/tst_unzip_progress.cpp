// Extraction progress, reported from the installer's thread, reaches the
// installer object on the GUI thread as a percentage the page shows.
#include "common/ArchiveWriter.h"
#include "common/TestUtil.h"
#include "engine/LangModelInstallThread.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

using ArchiveWriter::Entry;

class TestUnzipProgress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QVERIFY(m_tmp.isValid());
    }

    void progressReachesTheInstaller()
    {
        QByteArray data(1 << 20, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        const QString archive = m_tmp.filePath(QStringLiteral("m.tar.gz"));
        QString err;
        QVERIFY2(ArchiveWriter::write(archive, QStringLiteral("tar.gz"),
                                      {{QStringLiteral("m/"), Entry::Dir, {}, {}},
                                       {QStringLiteral("m/data"), Entry::File, data, {}}},
                                      &err),
                 qPrintable(err));
        // The entry's file is a pipe drained slowly, so extraction lasts longer
        // than the interval between two reports.
        const QString dest = m_tmp.filePath(QStringLiteral("dest"));
        QVERIFY(QDir().mkpath(dest + QStringLiteral("/m")));
        const QByteArray pipe = QFile::encodeName(dest + QStringLiteral("/m/data"));
        QCOMPARE(mkfifo(pipe.constData(), 0600), 0);
        std::thread drain([pipe] {
            const int fd = ::open(pipe.constData(), O_RDONLY);
            char buf[16384];
            if (fd < 0 || ::read(fd, buf, sizeof buf) <= 0)
                return;
            QThread::msleep(1500);
            while (::read(fd, buf, sizeof buf) > 0) {
            }
            ::close(fd);
        });

        LangModelInstallThread installer;
        QSignalSpy progress(&installer, &DownloadFileThread::progressUpdate);
        QString result;
        QThread *worker = QThread::create(
            [&] { result = unzipModelArchive(archive, QDir(dest), &installer, "unzipProgressUpdate"); });
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 30000);
        QVERIFY(worker->wait());
        delete worker;
        drain.join();
        QCOMPARE(result, dest + QStringLiteral("/m"));

        // The report may be posted just before the worker ends.
        QTRY_VERIFY(progress.count() >= 1);
        const int percent = progress.first().at(0).toInt();
        QVERIFY2(percent > 0 && percent < 100, qPrintable(QString::number(percent)));
        QCOMPARE(progress.first().at(1).toString(), QStringLiteral("UNCOMPRESSING..."));
    }

private:
    QTemporaryDir m_tmp;
};

QTEST_GUILESS_MAIN(TestUnzipProgress)
#include "tst_unzip_progress.moc"
