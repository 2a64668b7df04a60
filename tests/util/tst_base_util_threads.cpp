// The text helpers that the exporters call from their worker threads. A test
// of its own, without a display, so that the thread checker runs it.
#include "util/BaseUtil.h"

#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

class TestBaseUtilThreads : public QObject
{
    Q_OBJECT

private slots:
    void textHelpersFromThreads();
};

void TestBaseUtilThreads::textHelpersFromThreads()
{
    const QString html = "<p>a &lt;c&gt; R&amp;D</p><p><span style=\"color:#ff0000;\">red</span><br/>next</p>";
    const QString body = BaseUtil::htmlBody(html);
    const QString text = BaseUtil::html2text(html);
    const QString time = BaseUtil::formatMSecs(3723004);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                if (BaseUtil::htmlBody(html) != body || BaseUtil::html2text(html) != text
                    || BaseUtil::formatMSecs(3723004) != time)
                    ++wrong;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    QCOMPARE(wrong.load(), 0);
}

QTEST_MAIN(TestBaseUtilThreads)
#include "tst_base_util_threads.moc"
