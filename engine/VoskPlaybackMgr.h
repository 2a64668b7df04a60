#pragma once
// Plays one byte range of a project's recording, with speed, pause and an
// end report per play.

#include "engine/AudioPlayer.h"

#include <QAtomicInt>
#include <QAtomicInteger>
#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

// Tags one play and reports its end once: finished, stopped, replaced or
// failed. The report always arrives through the event loop of the thread the
// notif lives in, never inside the call that ended the play.
class VoskPlaybackNotif : public QObject
{
    Q_OBJECT
public:
    explicit VoskPlaybackNotif(QObject *parent = nullptr);

    void setIdx(int v) { idx = v; }
    int getIdx() const { return idx; }
    bool hasFired() const { return fired.loadAcquire() != 0; }

signals:
    void playEnded(bool, QString);

public slots:
    void notifyEnded(bool hasErr, QString err);

private:
    QAtomicInt fired;
    int idx = 0;
};

class VoskPlaybackMgr : public QThread
{
    Q_OBJECT
public:
    explicit VoskPlaybackMgr(QObject *parent = nullptr);
    ~VoskPlaybackMgr() override;

    void setAudioFile(const QString &path, int sampleRate);
    void setSpeed(float v);
    float getSpeed() const;

public slots:
    void play(qlonglong fstart, qlonglong fend, VoskPlaybackNotif *notif);
    void stop();
    void pause();
    void resume();

protected:
    void run() override;

private:
    VoskPlaybackNotif *takeNotif();
    void stopLocked();

    QFile audio;
    int sampleRate = 16000;
    AudioPlayer engine;
    QByteArray image;
    WavSound wav;
    QAtomicInteger<unsigned> handle;
    QAtomicInt inited;
    QAtomicInt quit;
    QAtomicInteger<quint32> speedBits;
    QAtomicPointer<VoskPlaybackNotif> notif;
    QMutex mutex;
    // Lets the destructor end the polling thread's sleep at once.
    std::mutex quitMutex;
    std::condition_variable quitWake;
};
