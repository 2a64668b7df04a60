#include "export/TodoInThread.h"

#include <QMetaMethod>

TodoThread::TodoThread(QObject *receiver, const char *method, QObject *parent)
    : QThread(parent)
{
    if (!receiver || !method)
        return;
    const QMetaObject *mo = receiver->metaObject();
    const int slot = mo->indexOfMethod(QByteArray(method) + "(bool)");
    if (slot >= 0)
        connect(this, QMetaMethod::fromSignal(&TodoThread::done), receiver, mo->method(slot), Qt::QueuedConnection);
    else
        qWarning("TodoThread: %s has no method %s(bool)", mo->className(), method);
}
