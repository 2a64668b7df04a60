#pragma once
// Paints the conversation on pages: for each message an optional time pill
// and a speech bubble with its rich text, one message per pass of the event
// loop.

#include "export/PagePainter.h"

#include <QList>
#include <QObject>

struct PrintMsg
{
    QString time;
    QString html;
    QString baseUrl;
    QString color;
    QString speaker;
    bool right = false;
};

class PrintMsgsExec : public QObject, public PagePainter
{
    Q_OBJECT

public:
    explicit PrintMsgsExec(QObject *parent = nullptr);

    void setItems(QPagedPaintDevice *device, const QList<PrintMsg> &items, bool withSpeaker, bool withTime,
                  int maxPages, int pageGroup);

signals:
    void updateProgress(int cur, int total);
    void finished();

public slots:
    void exec();
    void setCancel();
    void start();
    bool printNext();
    void printNextContinue();

protected:
    Step paintRecord(int index) override;
    int recordCount() const override { return items.size(); }
    void emitProgress(int c, int t) override { emit updateProgress(c, t); }
    void emitFinished() override { emit finished(); }

private:
    bool paintTime(const QString &time);
    // Lays out the bubble's text into body.
    void layOutMsg(const PrintMsg &msg);
    // The bubble, or its share of the page when it runs on over page breaks.
    Step paintMsg(const PrintMsg &msg);

    QList<PrintMsg> items;
    TextSlices body; // of the message being painted
    int bodyWidth = 0;
};
