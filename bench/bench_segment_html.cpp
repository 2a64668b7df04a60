// Stores one long segment of typed text, as the conversation editor saves it
// (its document as HTML, through BaseUtil::htmlBody), at two lengths. The
// baseline, measured in the same run on the same markup: the editor reading
// it (QTextDocument::setHtml). Text with "&" and quotes, which the editor
// writes as character references, is what the cleaner decodes most.
//
//   bench_segment_html [characters]   (default 100000)

#include "util/BaseUtil.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

QString editorHtml(int chars)
{
    const QString typed = QStringLiteral("Q&A about R&D, \"quoted\" <b> ");
    QTextDocument doc;
    QTextCursor(&doc).insertText(typed.repeated(chars / typed.size()));
    return doc.toHtml();
}

// The best of three runs.
qint64 bestNs(const std::function<void()> &work)
{
    qint64 best = -1;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        const qint64 ns = t.nsecsElapsed();
        best = best < 0 ? ns : std::min(best, ns);
    }
    return best;
}

}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (n <= 0) {
        std::fprintf(stderr, "usage: %s [characters]\n", argv[0]);
        return 2;
    }

    qint64 store[2], read[2];
    for (int i = 0; i < 2; ++i) {
        const QString html = editorHtml(n << (2 * i));
        store[i] = bestNs([&] { BaseUtil::htmlBody(html); });
        read[i] = bestNs([&] {
            QTextDocument doc;
            doc.setHtml(html);
        });
        std::printf("%7d characters: stored in %8.1f ms, read by the editor in %8.1f ms, ratio %.2f (target <= 3)\n",
                    n << (2 * i), store[i] / 1e6, read[i] / 1e6, double(store[i]) / read[i]);
    }
    std::printf("four times the text takes %.2f times as long to store (target <= 5: linear)\n",
                double(store[1]) / store[0]);
    return 0;
}
