#pragma once
// Paints the highlights and comments document on pages: highlight and
// comment texts and reply cards, one block per pass of the event loop.

#include "export/PagePainter.h"

#include <QList>
#include <QObject>

struct PrintCItem
{
    int type = 1; // 1 highlight, 2 comment, 3 reply
    QString time;
    QString text;
};

class PrintCItemExec : public QObject, public PagePainter
{
    Q_OBJECT

public:
    explicit PrintCItemExec(QObject *parent = nullptr);

    void setItems(QPagedPaintDevice *device, const QList<PrintCItem> &items, bool withSpeaker, bool withTime,
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
    // The block, or its share of the page when it runs on over page breaks.
    Step paintItem(const PrintCItem &item);

    QList<PrintCItem> items;
    TextSlices text; // of the block being painted
};
