#include "engine/LangModelInstallThreadMgr.h"

#include "engine/LangModelInstallThread.h"

#include <QMutexLocker>

LangModelInstallThreadMgr::LangModelInstallThreadMgr(QObject *parent)
    : QObject(parent)
{
}

LangModelInstallThreadMgr::~LangModelInstallThreadMgr()
{
    QMutexLocker lock(&m_mutex);
    // Asked to stop rather than terminated: a thread killed inside libcurl,
    // the heap or the catalogue could leave their locks held for good.
    for (LangModelInstallThread *t : qAsConst(m_threads)) {
        disconnect(t, nullptr, this, nullptr);
        t->requestInterruption();
    }
    for (LangModelInstallThread *t : qAsConst(m_threads)) {
        t->wait();
        // Its state lock is the last thing the thread takes.
        t->hasErr();
    }
    qDeleteAll(m_threads);
    m_threads.clear();
}

void LangModelInstallThreadMgr::tdProgressUpdate(int progress, QString status)
{
    auto *t = qobject_cast<LangModelInstallThread *>(sender());
    if (t)
        emit progressUpdate(t->lang(), progress, status);
}

void LangModelInstallThreadMgr::tdFinished()
{
    auto *t = qobject_cast<LangModelInstallThread *>(sender());
    if (t)
        emit finished(t->lang(), !t->hasErr(), t->lastErr());
}

void LangModelInstallThreadMgr::beginInstall(QString lang, QString url)
{
    QMutexLocker lock(&m_mutex);
    if (LangModelInstallThread *old = m_threads.value(lang)) {
        if (old->isRunning())
            return;
        // It may still be between finished() and the end of its thread.
        old->wait();
        old->hasErr(); // orders its last writes before the delete
        old->deleteLater();
        m_threads.remove(lang);
    }

    auto *t = new LangModelInstallThread(this);
    t->setLang(lang);
    t->setUrl(url);
    connect(t, SIGNAL(progressUpdate(int, QString)), this, SLOT(tdProgressUpdate(int, QString)));
    connect(t, SIGNAL(finished()), this, SLOT(tdFinished()));
    m_threads.insert(lang, t);
    t->start(QThread::InheritPriority);
}

bool LangModelInstallThreadMgr::isRunning(QString lang)
{
    QMutexLocker lock(&m_mutex);
    LangModelInstallThread *t = m_threads.value(lang);
    return t && t->isRunning();
}

QString LangModelInstallThreadMgr::lastErr(QString lang)
{
    QMutexLocker lock(&m_mutex);
    LangModelInstallThread *t = m_threads.value(lang);
    return t && t->hasErr() ? t->lastErr() : QString();
}

bool LangModelInstallThreadMgr::isAnyRunning()
{
    QMutexLocker lock(&m_mutex);
    for (LangModelInstallThread *t : qAsConst(m_threads)) {
        if (t->isRunning())
            return true;
    }
    return false;
}
