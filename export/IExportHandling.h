#pragma once
// Base of the exporters. The export batch model is the parent of each one;
// the exporters' worker threads read its options and cancel flag through it.

#include <QDir>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class BatchHandlingItemModel;
class QFile;
class QThread;
class VoskProDb;
struct VoskProSeg;

class IExportHandling : public QObject
{
    Q_OBJECT

public:
    explicit IExportHandling(QObject *parent = nullptr);

    // Set together by setErr before finished() on a failure; the batch model
    // reads them after finished().
    bool hasErr = false;
    QString err;

    void setErr(const QString &e);
    // The parent batch's cancel flag; safe from the worker thread.
    bool isCanceled() const;

    // Base name of the highlights and comments document beside the
    // conversation document.
    static QString highlightsName() { return QStringLiteral("Highlights_and_Comments"); }
    // The conversation document: named after the export item folder itself.
    static QString documentPath(const QDir &outDir, const QString &ext);
    // The highlights and comments document beside it.
    static QString highlightsPath(const QDir &outDir, const QString &ext);

signals:
    void finished();
    void progress(int v);

public slots:
    virtual void start() = 0;
    virtual void stop() = 0;

protected:
    // The batch's choices; they do not change while an export runs.
    struct Options
    {
        bool withSpeaker = false;
        bool withTime = false;
        bool withHLCMMT = false;
    };
    Options options() const;

    // Runs work in a worker thread owned by this exporter; with a method, its
    // result goes to that slot of this exporter in the GUI thread.
    void startWorker(std::function<bool()> work, const char *method = nullptr);
    // Every exporter's destructor calls it: the worker uses the exporter.
    void waitForWorker();
    QThread *worker = nullptr;

    // Each of these fails the export on its way out: setErr, finished() and
    // false. An export neither creates nor changes the project's database.
    bool fail(const QString &e);
    bool openProjectDb(VoskProDb &db, const QString &projectDir);
    bool openOutput(QFile &file, const QString &path);
    // Writes what is buffered and closes; a failed write fails the export.
    bool closeOutput(QFile &file);
    // The same without ending the export: the error text, empty on success.
    static QString closeFile(QFile &file);

    // The segment's start as shown beside it: hh:mm:ss,mmm.
    static QString segTime(const VoskProSeg &seg);
    // A reply's time, local: yyyy/MM/dd hh:mm:ss.
    static QString replyTime(const QVariantMap &reply);
    // The segment's markup as the exports show it: a project made elsewhere
    // may hold any, but only the editor's own goes out.
    static QString segHtml(const VoskProSeg &seg);
    // Its words, as the text documents hold them.
    static QString segText(const VoskProSeg &seg);

    // progress() for done of total, sent only when the percentage moves.
    class Progress
    {
    public:
        Progress(IExportHandling *owner, int total) : m_owner(owner), m_total(total) {}
        void step();

    private:
        IExportHandling *m_owner;
        int m_total;
        int m_done = 0;
        int m_last = -1;
    };

private:
    // Kept at construction so that worker threads never walk the object tree.
    const BatchHandlingItemModel *m_batch = nullptr;
};
