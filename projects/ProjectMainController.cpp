#include "projects/ProjectMainController.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QUrl>

#include <cmath>

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "engine/AudioFFMpegDecodeThread.h"
#include "engine/MALoopbackDevice.h"
#include "engine/RingBuffer.h"
#include "engine/VoskModelContext.h"
#include "engine/VoskThread.h"
#include "projects/JsonFile.h"
#include "projects/ProjectsMgr.h"
#include "storage/LangDb.h"
#include "util/BaseUtil.h"

namespace {

constexpr int sampleRate = 16000;
constexpr unsigned convertRingBytes = 64000; // 2 s of 16 kHz mono 16-bit PCM
constexpr unsigned liveRingBytes = 160000;   // 5 s

const QString kConvert = QStringLiteral("convert");
const QString kConvertStatus = QStringLiteral("convert_status");
const QString kConvertErr = QStringLiteral("convert_err");
const QString kConvertCur = QStringLiteral("convert_cur");
const QString kConvertTotal = QStringLiteral("convert_total");
const QString kConvertSecs = QStringLiteral("convert_secs");

// Sets an int through an atomic exchange and tells whether it changed.
bool exchange(std::atomic<int> &a, int v)
{
    return a.exchange(v) != v;
}

}

ProjectMainController::ProjectMainController(QObject *parent)
    : QObject(parent)
    , ring(new RingBuffer)
{
    static const bool registered = [] {
        qRegisterMetaType<VoskProSeg>("VoskProSeg");
        qRegisterMetaType<VoskSpeakerInfo>("VoskSpeakerInfo");
        registerVoskTypes();
        return true;
    }();
    Q_UNUSED(registered);
}

ProjectMainController::~ProjectMainController()
{
    stop();
    // The engine objects are children; they go with this object. The model
    // context has no parent: whoever holds it last frees it, exactly once.
}

// ---------------------------------------------------------------- properties

void ProjectMainController::setLastErr(const QString &v)
{
    if (m_lastErr == v)
        return;
    m_lastErr = v;
    emit lastErrChanged();
}

void ProjectMainController::setHasErr(bool v)
{
    if (m_hasErr == v)
        return;
    m_hasErr = v;
    emit hasErrChanged();
}

void ProjectMainController::setIsStarting(int v)
{
    if (exchange(m_isStarting, v))
        emit isStartingChanged();
}

void ProjectMainController::setIsRunning(int v)
{
    if (exchange(m_isRunning, v))
        emit isRunningChanged();
}

void ProjectMainController::setIsPaused(int v)
{
    if (exchange(m_isPaused, v))
        emit isPausedChanged();
}

void ProjectMainController::setMode(Mode v)
{
    if (m_mode == v)
        return;
    m_mode = v;
    emit modeChanged();
}

void ProjectMainController::setDevid(int v)
{
    if (m_devid == v)
        return;
    m_devid = v;
    emit devidChanged();
}

QString ProjectMainController::projectName() const
{
    return m_info.value(QStringLiteral("name")).toString();
}

void ProjectMainController::setProjectName(const QString &v)
{
    if (projectName() == v)
        return;
    setInfo(QStringLiteral("name"), v);
    emit projectNameChanged();
}

QString ProjectMainController::projectLang() const
{
    return m_info.value(QStringLiteral("lang")).toString();
}

void ProjectMainController::setProjectLang(const QString &v)
{
    if (projectLang() == v)
        return;
    setInfo(QStringLiteral("lang"), v);
    emit projectLangChanged();
}

void ProjectMainController::setSpeed(double v)
{
    if (qFuzzyCompare(m_speed, v))
        return;
    m_speed = v;
    playbackMgr.setSpeed(float(v));
    emit speedChanged();
}

void ProjectMainController::setPlayIdx(int v)
{
    if (m_playIdx == v)
        return;
    m_playIdx = v;
    emit playIdxChanged();
}

void ProjectMainController::setPlayPaused(bool v)
{
    if (m_playPaused == v)
        return;
    m_playPaused = v;
    emit playPausedChanged();
}

QString ProjectMainController::projectUrl() const
{
    return QUrl::fromLocalFile(m_projectDir.absolutePath()).toString();
}

void ProjectMainController::setHighlightLast(bool v)
{
    if (m_highlightLast == v)
        return;
    m_highlightLast = v;
    emit highlightLastChanged();
}

void ProjectMainController::setStartSecs(qlonglong v)
{
    if (m_startSecs == v)
        return;
    m_startSecs = v;
    emit startSecsChanged();
}

void ProjectMainController::setConvertFileUrl(const QString &v)
{
    if (m_convertFileUrl == v)
        return;
    m_convertFileUrl = v;
    emit convertFileUrlChanged();
}

void ProjectMainController::setConvertSkip(qlonglong v)
{
    if (m_convertSkip == v)
        return;
    m_convertSkip = v;
    emit convertSkipChanged();
}

void ProjectMainController::setConvertProgress(int v)
{
    if (m_convertProgress == v)
        return;
    m_convertProgress = v;
    emit convertProgressChanged();
}

void ProjectMainController::setError(const QString &err)
{
    setHasErr(true);
    setLastErr(err);
}

// ------------------------------------------------------------- project folder

void ProjectMainController::setProjectDir(const QString &path)
{
    m_projectDir = QDir(path);
    m_info = readJsonFile(m_projectDir.absoluteFilePath(QStringLiteral("manifest")));
}

bool ProjectMainController::init(QString &err)
{
    playbackMgr.setAudioFile(m_projectDir.absoluteFilePath(QStringLiteral("data.wav")), sampleRate);
    db = QSharedPointer<VoskProDb>(new VoskProDb);
    if (!db->open(m_projectDir.absoluteFilePath(QStringLiteral("data")))) {
        setError(db->lastErr);
        err = db->lastErr;
        return false;
    }
    ProjectsMgr::instance()->touchProject(m_projectDir.absolutePath());
    return true;
}

QVariant ProjectMainController::info(const QString &key) const
{
    return m_info.value(key);
}

void ProjectMainController::setInfo(const QString &key, const QVariant &val)
{
    m_info.insert(key, val);
    writeManifest();
}

void ProjectMainController::setInfo2(const QVariantMap &vals)
{
    for (auto it = vals.cbegin(); it != vals.cend(); ++it)
        m_info.insert(it.key(), it.value());
    writeManifest();
}

void ProjectMainController::writeManifest()
{
    if (!writeJsonFile(m_projectDir.absoluteFilePath(QStringLiteral("manifest")), m_info))
        setLastErr(QStringLiteral("Save project-manifest failed."));
}

bool ProjectMainController::isConvertingFile()
{
    return !m_info.value(kConvert).toString().isEmpty();
}

int ProjectMainController::convertStatus()
{
    return m_info.value(kConvertStatus).toInt();
}

// ----------------------------------------------------------------------- runs

void ProjectMainController::startRecord()
{
    start(Record);
}

void ProjectMainController::startTranscribe()
{
    start(Transcribe);
}

void ProjectMainController::startConvert()
{
    start(Convert);
}

void ProjectMainController::restart()
{
    // An idle controller has nothing to restart; starting again would convert
    // a finished file a second time.
    if (!isRunning() && !isStarting())
        return;
    stop();
    QMetaObject::invokeMethod(this, "start", Qt::QueuedConnection, Q_ARG(int, int(m_mode)));
}

QString ProjectMainController::speakerModelPath()
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    const QString beside = appDir.absoluteFilePath(QStringLiteral("spkm"));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(appDir.absoluteFilePath(QStringLiteral("../models/spkm")));
}

void ProjectMainController::start(int mode)
{
    setHasErr(false);
    setLastErr(QString());
    setIsRunning(0);
    setIsPaused(0);
    setIsStarting(1);
    setMode(Mode(mode));
    setStartSecs(0);
    convertId = 0;
    setConvertProgress(0);
    ++runGen;
    dropResults = false;

    playbackMgr.stop();
    setPlayPaused(false);
    setPlayIdx(-1);

    ring = QSharedPointer<RingBuffer>(new RingBuffer);
    if (!ring->init(mode == Convert ? convertRingBytes : liveRingBytes)) {
        setIsStarting(0);
        setError(QStringLiteral("RingBuffer::init failed."));
        stop();
        // Whoever waits for the run's outcome (a batch) must hear of it.
        emit started(false);
        return;
    }

    if (!modelCtx) {
        modelCtx = QSharedPointer<VoskModelContext>(new VoskModelContext);
        connect(modelCtx.data(), &VoskModelContext::initEnd, this, &ProjectMainController::onVoskModelInitEnd,
                Qt::QueuedConnection);
    }
    const QString spkPath = speakerModelPath();
    const QString modelPath = LangDb::instance()->modelPath(projectLang());
    modelCtx->beginInit(modelPath, spkPath);
}

void ProjectMainController::onVoskModelInitEnd(bool suc, QString err)
{
    // A report for a run that was stopped (the page was left while loading)
    // must not start capture.
    if (!isStarting())
        return;
    setIsStarting(0);
    QString e;
    if (startPipeline(suc, err, e)) {
        setIsRunning(1);
        emit started(true);
        setStartSecs(QDateTime::currentSecsSinceEpoch());
    } else {
        setError(e);
        stop();
        emit started(false);
    }
}

bool ProjectMainController::startPipeline(bool suc, const QString &ctxErr, QString &e)
{
    if (!suc) {
        e = ctxErr;
        return false;
    }
    if (!modelCtx) {
        e = QStringLiteral("invalid vosk-model.");
        return false;
    }

    if (voskThread)
        voskThread->deleteLater();
    voskThread = new VoskThread(this);
    const quint64 gen = runGen;
    connect(voskThread, &QThread::finished, this, [this, gen] {
        if (gen == runGen)
            onVoskTdFinished();
    }, Qt::QueuedConnection);
    if (!voskThread->init(modelCtx, ring, sampleRate, m_projectDir.absoluteFilePath(QStringLiteral("data.wav")), true)) {
        e = voskThread->lastErr();
        return false;
    }
    voskThread->timeOffset = db ? db->maxSegEnd() : 0.0f;
    // Reports of a run that is over (or of an older thread) are dropped.
    connect(voskThread, &VoskThread::newWords, this, [this, gen](const VoskResult &r) {
        if (gen == runGen && !dropResults)
            onVoskNewWords(r);
    }, Qt::QueuedConnection);
    connect(voskThread, &VoskThread::partialNewWord, this, [this, gen](const VoskWordList &w) {
        if (gen == runGen && !dropResults)
            onVoskPartialNewWord(w);
    }, Qt::QueuedConnection);
    connect(voskThread, &VoskThread::atEnd, this, [this, gen] {
        if (gen == runGen)
            onVoskAtEnd();
    }, Qt::QueuedConnection);
    voskThread->start(QThread::LowPriority);

    switch (m_mode) {
    case Convert: {
        if (decoder) {
            decoder->stop.storeRelease(1);
            decoder->deleteLater();
            decoder = nullptr;
        }
        const QString path = QUrl(m_convertFileUrl).toLocalFile();
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            e = QStringLiteral("%1 not exists.").arg(path.isEmpty() ? m_convertFileUrl : path);
            return false;
        }
        decoder = new AudioFFMpegDecodeThread(this);
        connect(decoder, &QThread::finished, this, [this, gen] {
            if (gen == runGen)
                onFFMpegFinished();
        });
        connect(decoder, &AudioFFMpegDecodeThread::progress, this,
                [this, gen](qlonglong cur, qlonglong total, qlonglong msecs) {
                    if (gen == runGen && isRunning())
                        onFFMpegProgress(cur, total, msecs);
                });
        decoder->setup(ring, path, sampleRate, AV_SAMPLE_FMT_S16);
        if (m_convertSkip != 0)
            decoder->startOffset = m_convertSkip;
        QVariantMap m;
        m.insert(kConvert, m_convertFileUrl);
        m.insert(kConvertStatus, 0);
        m.insert(kConvertErr, QString());
        m.insert(kConvertCur, m_convertSkip);
        setInfo2(m);
        convertId = db ? db->beginItem(m_convertFileUrl) : 0;
        if (convertId == 0) {
            e = db ? db->lastErr : QStringLiteral("invalid database.");
            setInfo(kConvert, QString());
            return false;
        }
        decoder->start(QThread::LowPriority);
        setDevid(2);
        return true;
    }
    case Record:
        if (micDevice)
            micDevice->deleteLater();
        micDevice = new MALoopbackDevice(this);
        if (!openInputDevice(false, micDevice, e))
            return false;
        curDevice = micDevice;
        setDevid(2);
        return true;
    case Transcribe:
        if (loopbackDevice)
            loopbackDevice->deleteLater();
        loopbackDevice = new MALoopbackDevice(this);
        if (!openInputDevice(true, loopbackDevice, e))
            return false;
        curDevice = loopbackDevice;
        setDevid(2);
        return true;
    case None:
        break;
    }
    return true;
}

bool ProjectMainController::openInputDevice(bool loopback, MALoopbackDevice *dev, QString &e)
{
    if (!dev->init(loopback, ring, sampleRate) || !dev->start()) {
        e = dev->lastErr();
        return false;
    }
    return true;
}

void ProjectMainController::stop()
{
    playbackMgr.stop();
    // Ends the starting state too: the model's report, when it comes, finds
    // no run waiting for it.
    setIsStarting(0);
    if (modelCtx)
        modelCtx->wait();
    if (ring)
        ring->close();
    if (loopbackDevice) {
        loopbackDevice->stop();
        loopbackDevice->deleteLater();
        loopbackDevice = nullptr;
    }
    if (micDevice) {
        micDevice->stop();
        micDevice->deleteLater();
        micDevice = nullptr;
    }
    if (voskThread) {
        voskThread->wait();
        voskThread->deleteLater();
        voskThread = nullptr;
    }
    if (decoder) {
        decoder->stop.storeRelease(1);
        decoder->wait();
        if (m_mode == Convert)
            recordConvertOutcome();
        decoder->deleteLater();
        decoder = nullptr;
    }
    curDevice = nullptr;
    // The next conversion starts at the beginning of its file unless a
    // resume sets the offset again.
    setConvertSkip(0);
    if (isRunning())
        emit stopped();
    setIsRunning(0);
    setIsPaused(0);
    setStartSecs(0);
}

void ProjectMainController::recordConvertOutcome()
{
    int status = 0;
    if (decoder->ended.load())
        status = 1;
    else if (decoder->hasErr)
        status = -1;
    QVariantMap m;
    m.insert(kConvertStatus, status);
    if (status == -1) {
        setError(decoder->lastErr);
        m.insert(kConvertErr, decoder->lastErr);
    }
    if (status != 1) {
        // What the drained recogniser still reports belongs to the removed item.
        dropResults = true;
        clearConvertTmp(convertId);
    } else if (db) {
        db->finishItem(convertId);
    }
    m.insert(kConvert, QString());
    setInfo2(m);
}

void ProjectMainController::onVoskTdFinished()
{
    stop();
}

void ProjectMainController::onFFMpegFinished()
{
    if (ring)
        ring->close();
}

void ProjectMainController::onVoskAtEnd()
{
    if (isRunning()) {
        stop();
    } else if (m_mode == Convert && m_info.value(kConvertStatus).toInt() < 1) {
        clearConvertTmp(convertId);
    }
}

void ProjectMainController::onFFMpegProgress(qlonglong cur, qlonglong total, qlonglong totalsecs)
{
    QVariantMap m;
    m.insert(kConvertCur, cur);
    m.insert(kConvertTotal, total);
    m.insert(kConvertSecs, totalsecs);
    setInfo2(m);
    setConvertProgress(total == 0 ? 0 : int(cur * 100 / total));
}

void ProjectMainController::clearConvertTmp(qlonglong id)
{
    if (id == 0)
        return;
    if (db)
        db->deleteItem(id);
    // Cleared once: the recogniser's end report that follows a stop finds
    // nothing left to clear.
    if (id == convertId)
        convertId = 0;
    setInfo(kConvert, QString());
    emit afterClearConvertTmp(id);
}

void ProjectMainController::convertClear()
{
    const qint64 id = db ? db->beginItem(m_info.value(kConvert).toString()) : 0;
    if (id != 0) {
        db->deleteItem(id);
        setInfo(kConvert, QString());
        emit afterClearConvertTmp(id);
    }
    setInfo(kConvertStatus, 1);
}

void ProjectMainController::convertContinue()
{
    setConvertFileUrl(m_info.value(kConvert).toString());
    setConvertSkip(m_info.value(kConvertCur).toLongLong());
    start(Convert);
}

// ------------------------------------------------------- pause and switching

void ProjectMainController::togglePause()
{
    if (!isRunning() || !curDevice)
        return;
    curDevice->setPause(!isPaused());
    setIsPaused(isPaused() ? 0 : 1);
}

bool ProjectMainController::switchToLoopback()
{
    return switchTo(true);
}

bool ProjectMainController::switchToMic()
{
    return switchTo(false);
}

bool ProjectMainController::switchTo(bool loopback)
{
    MALoopbackDevice *&target = loopback ? loopbackDevice : micDevice;
    MALoopbackDevice *other = loopback ? micDevice : loopbackDevice;
    if (curDevice && curDevice == target)
        return true;
    // Without a live run nothing would ever stop a device opened here.
    if (!isRunning() || !curDevice) {
        setLastErr(QStringLiteral("No recording is running."));
        return false;
    }
    // Only one producer may ever write into the ring: the old source is
    // quiet before the new one starts.
    if (other)
        other->setPause(true);
    if (!target) {
        auto *dev = new MALoopbackDevice(this);
        QString e;
        if (!openInputDevice(loopback, dev, e)) {
            delete dev;
            setLastErr(e);
            if (other && other == curDevice)
                other->setPause(isPaused() != 0);
            return false;
        }
        target = dev;
    }
    curDevice = target;
    target->setPause(isPaused() != 0);
    setDevid(loopback ? 2 : 1);
    return true;
}

// ---------------------------------------------------------------- results

double ProjectMainController::pauseThreshold(const QVariant &srate)
{
    const double r = srate.toDouble();
    if (r <= 0 || std::isnan(r))
        return 0.05;
    return qMin(r, 1.0);
}

QString ProjectMainController::wordsHtml(const VoskWordList &words, double threshold, bool chinese)
{
    QString html;
    for (int i = 0; i < words.size(); ++i) {
        const VoskWord &w = words.at(i);
        if (i > 0 && double(w.pre) > threshold)
            html += QLatin1String("<br/>");
        if (!chinese)
            html += QLatin1Char(' ');
        html += w.word.toHtmlEscaped();
    }
    return html;
}

QString ProjectMainController::rawWordsJson(const VoskWordList &words)
{
    QJsonArray arr;
    for (const VoskWord &w : words) {
        QJsonObject o;
        o.insert(QStringLiteral("pre"), double(w.pre));
        o.insert(QStringLiteral("start"), double(w.start));
        o.insert(QStringLiteral("end"), double(w.end));
        o.insert(QStringLiteral("conf"), double(w.conf));
        o.insert(QStringLiteral("word"), w.word);
        arr.append(o);
    }
    return QString::fromUtf8(QJsonDocument(arr).toJson(QJsonDocument::Indented));
}

double ProjectMainController::currentPauseThreshold() const
{
    return pauseThreshold(m_info.value(QStringLiteral("srate")));
}

bool ProjectMainController::modelIsChinese() const
{
    return modelCtx && modelCtx->isChinese();
}

void ProjectMainController::onVoskPartialNewWord(VoskWordList words)
{
    emit partialResult(m_devid, wordsHtml(words, currentPauseThreshold(), modelIsChinese()));
}

void ProjectMainController::onVoskNewWords(VoskResult vres)
{
    if (vres.words.isEmpty() || !db)
        return;
    VoskProSeg seg;
    seg.device = m_devid;
    seg.start = vres.words.first().start;
    seg.end = vres.words.last().end;
    seg.fstart = vres.fstart;
    seg.fend = vres.fend;
    seg.html = wordsHtml(vres.words, currentPauseThreshold(), modelIsChinese());

    const VoskSpeakerInfo spk = db->matchSpeaker(vres.spk, vres.spk_frames, 0);
    seg.spkId = spk.id;
    seg.spkName = spk.name;
    seg.id = db->addSeg(seg, rawWordsJson(vres.words), convertId);
    if (seg.id == 0) {
        // Text that was not stored must not be shown as stored.
        setError(db->lastErr);
        stop();
        return;
    }
    seg.itemId = convertId;

    if (m_highlightLast) {
        const QString text = BaseUtil::html2text(seg.html);
        const QVariantMap hl = db->addCItem(seg.id, text, 1);
        const qint64 hlId = hl.value(QStringLiteral("id")).toLongLong();
        if (hlId != 0) {
            QString wrapped = QStringLiteral("<a href=\"#hl%1\" style=\"background-color:#A7E4FB;color:#333333;\">%2</a>")
                                  .arg(hlId)
                                  .arg(seg.html);
            if (db->updateSegHtml(seg.id, wrapped))
                seg.html = wrapped;
            // Announced only once stored, so the comment list never shows a
            // highlight that the database does not hold.
            emit newHighlight(QVariant(hl));
        }
        setHighlightLast(false);
    }
    emit newResult(spk, seg);
}

// ---------------------------------------------------------------- playback

void ProjectMainController::play(int idx, qlonglong fstart, qlonglong fend)
{
    auto *notif = new VoskPlaybackNotif(this);
    notif->setIdx(idx);
    connect(notif, &VoskPlaybackNotif::playEnded, this, &ProjectMainController::onPlayEnded);
    currentPlay = notif;
    playbackMgr.setSpeed(float(m_speed));
    playbackMgr.play(fstart, fend, notif);
    setPlayPaused(false);
    // A play that failed at once has ended already.
    setPlayIdx(currentPlay == notif ? idx : -1);
}

void ProjectMainController::playStop()
{
    playbackMgr.stop();
    setPlayPaused(false);
    setPlayIdx(-1);
}

void ProjectMainController::playPause()
{
    playbackMgr.pause();
    setPlayPaused(true);
}

void ProjectMainController::playResume()
{
    playbackMgr.resume();
    setPlayPaused(false);
}

void ProjectMainController::onPlayEnded(bool hasErr, QString err)
{
    auto *notif = qobject_cast<VoskPlaybackNotif *>(sender());
    if (!notif)
        return;
    notif->deleteLater();
    if (notif != currentPlay)
        return;
    currentPlay = nullptr;
    const int tag = notif->getIdx();
    emit playEnded(tag, hasErr, err);
    if (m_playIdx == tag && tag != -1)
        setPlayIdx(-1);
}
