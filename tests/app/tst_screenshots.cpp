// Runs scripts/screenshots.sh and checks that it drew every view.

#include "common/TestUtil.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QVERIFY(m_out.isValid());
        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        script.start("bash", { QStringLiteral(KALVINOR_SOURCE_DIR "/scripts/screenshots.sh"), m_out.path(),
                               QStringLiteral(KALVINOR_BINARY_DIR) });
        // Under the sanitizers on a busy machine the walk takes minutes.
        QVERIFY(script.waitForFinished(300000));
        QCOMPARE(script.exitCode(), 0);
    }

    void view_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *n : { "home", "project_settings_record", "project_settings_convert", "about", "language_models", "message_box",
                               "batch_converting", "batch_converted", "projects", "projects_deleted_kept", "export_setting", "export_done",
                               "export_html", "docx_page1", "print_preview", "export_pdf_page", "project_playing",
                               "project_transcribe" })
            QTest::newRow(n) << QString::fromLatin1(n);
    }

    void view()
    {
        QFETCH(QString, name);
        const QImage img(QDir(m_out.path()).absoluteFilePath(name + ".png"));
        QVERIFY(!img.isNull());
        // Windows are drawn at their full size; a PDF page at 72 dpi is A4.
        if (name == QLatin1String("export_pdf_page"))
            QCOMPARE(img.size(), QSize(595, 842));
        else
            QVERIFY(img.width() >= 1000 && img.height() >= 650);
        // Not blank: a drawn window has many colours; a blank grab has one.
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 4)
            for (int x = 0; x < img.width(); x += 4)
                colours.insert(img.pixel(x, y));
        QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
    }

    // The popups change the picture: each view differs from the home page.
    void viewsDiffer()
    {
        const QImage home(QDir(m_out.path()).absoluteFilePath("home.png"));
        for (const char *n : { "project_settings_record", "about", "language_models", "message_box",
                                "export_setting", "export_done", "export_html" })
            QVERIFY(QImage(QDir(m_out.path()).absoluteFilePath(QString::fromLatin1(n) + ".png")) != home);
    }

private:
    QTemporaryDir m_out;
};

QTEST_GUILESS_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
