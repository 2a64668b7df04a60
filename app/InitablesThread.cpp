#include "app/InitablesThread.h"

#include "app/Initable.h"
#include "util/ThreadEndMark.h"

InitablesThread::InitablesThread(QObject *parent)
    : QThread(parent)
{
}

InitablesThread::~InitablesThread()
{
    cancel();
}

void InitablesThread::cancel()
{
    requestInterruption();
    wait();
}

void InitablesThread::setInits(const QVariantList &inits)
{
    if (m_inits == inits)
        return;
    m_inits = inits;
    emit initsChanged();
}

void InitablesThread::run()
{
    const ThreadEndMark endMark(this);
    QString err;
    const QVariantList list = m_inits;
    for (const QVariant &v : list) {
        if (isInterruptionRequested()) {
            emit initFinished(false, QStringLiteral("init canceled."));
            return;
        }
        QObject *obj = v.value<QObject *>();
        if (!obj) {
            emit initFinished(false, QStringLiteral("invalid Initable."));
            return;
        }
        auto *initable = static_cast<Initable *>(obj->qt_metacast("Initable"));
        if (!initable) {
            emit initFinished(false, QStringLiteral("invalid Initable."));
            return;
        }
        if (!initable->init(err)) {
            emit initFinished(false, err);
            return;
        }
    }
    emit initFinished(true, QString());
}
