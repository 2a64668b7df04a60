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
constexpr int bytesPerSample = 2;
constexpr qint64 bytesPerSecond = sampleRate * bytesPerSample;
constexpr qint64 wavHeaderBytes = 44;
constexpr unsigned convertRingBytes = 64000; // 2 s of 16 kHz mono 16-bit PCM
constexpr unsigned liveRingBytes = 160000;   // 5 s

const QString kConvert = QStringLiteral("convert");
const QString kConvertStatus = QStringLiteral("convert_status");
const QString kConvertErr = QStringLiteral("convert_err");
const QString kConvertCur = QStringLiteral("convert_cur");
const QString kConvertTotal = QStringLiteral("convert_total");
const QString kConvertSecs = QStringLiteral("convert_secs");
// Where the conversion's audio begins in "data.wav", and where its stored
// results end (the resume point that "convert_cur" gives in the decoder's
// unit), both in bytes after the header.
const QString kConvertFstart = QStringLiteral("convert_fstart");
const QString kConvertFend = QStringLiteral("convert_fend");
// The same for a live run while it lasts, with its language and the source
// in force from each position on. A run that never ended leaves them
// behind: the audio after its stored results still waits for its text.
const QString kLiveFstart = QStringLiteral("live_fstart");
const QString kLiveFend = QStringLiteral("live_fend");
const QString kLiveLang = QStringLiteral("live_lang");
const QString kLiveSources = QStringLiteral("live_sources");
// Such audio that a later run found without its text (its model was gone),
// set aside before that run appended its own: a list of maps, each with the
// bytes still without text, the language and the sources.
const QString kLivePending = QStringLiteral("live_pending");
const QString kTailFstart = QStringLiteral("fstart");
const QString kTailFend = QStringLiteral("fend");
const QString kTailLang = QStringLiteral("lang");
const QString kTailSources = QStringLiteral("sources");

using Sources = QVector<QPair<qint64, int>>;

QVariantList sourcesToList(const Sources &sources)
{
    QVariantList list;
    for (const auto &s : sources)
        list.append(QVariant(QVariantList{s.first, s.second}));
    return list;
}

Sources sourcesFromList(const QVariant &v)
{
    Sources sources;
    for (const QVariant &e : v.toList()) {
        const QVariantList pair = e.toList();
        if (pair.size() == 2)
            sources.append({pair.at(0).toLongLong(), pair.at(1).toInt()});
    }
    return sources;
}

QString minutesSeconds(qint64 msecs)
{
    const qint64 secs = msecs / 1000;
    return QStringLiteral("%1:%2").arg(secs / 60, 2, 10, QLatin1Char('0')).arg(secs % 60, 2, 10, QLatin1Char('0'));
}

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
    m_info.clear();
    manifestOk = readJsonObject(m_projectDir.absoluteFilePath(QStringLiteral("manifest")), m_info);
}

bool ProjectMainController::init(QString &err)
{
    if (!manifestOk) {
        err = QStringLiteral("invalid project.");
        setError(err);
        return false;
    }
    playbackMgr.setAudioFile(m_projectDir.absoluteFilePath(QStringLiteral("data.wav")), sampleRate);
    db = QSharedPointer<VoskProDb>(new VoskProDb);
    if (!db->open(m_projectDir.absoluteFilePath(QStringLiteral("data")))) {
        setError(db->lastErr);
        err = db->lastErr;
        return false;
    }
    ProjectsMgr::instance()->touchProject(m_projectDir.absolutePath());
    recogniseLostTail();
    return true;
}

// A live run that never ended (the process was killed, or ended before the
// run's last results were stored) leaves audio in "data.wav" after its last
// stored segment. Its text is made here, before anything new is appended,
// as the run would have made it: the run's language, its time line, its
// sources and the same speaker matching. Tails that later runs set aside
// (their model was gone) come first, each over its own bytes. On the opening
// thread; an opening that is cancelled, or ends with the process, leaves the
// rest to the next.
void ProjectMainController::recogniseLostTail()
{
    QString failed;
    QVariantList pending = m_info.value(kLivePending).toList();
    const auto savePending = [&] {
        if (pending.isEmpty())
            m_info.remove(kLivePending);
        else
            m_info.insert(kLivePending, pending);
        writeManifest();
    };
    for (int i = 0; i < pending.size();) {
        QVariantMap tail = pending.at(i).toMap();
        const qint64 tailEnd = tail.value(kTailFend).toLongLong();
        // Text stored just before a kill, that the manifest does not know of,
        // lies within the tail's bytes: no other run's ends there.
        const qint64 stored = db->maxSegFend(tailEnd);
        QString e;
        const bool done = recogniseTail(qMax(tail.value(kTailFstart).toLongLong(), stored), tailEnd,
                                        tail.value(kTailLang).toString(), sourcesFromList(tail.value(kTailSources)),
                                        [&](qint64 fend) {
                                            tail.insert(kTailFstart, fend);
                                            pending[i] = tail;
                                            savePending();
                                        }, e);
        if (!done && QThread::currentThread()->isInterruptionRequested())
            return;
        if (done) {
            pending.removeAt(i);
            savePending();
        } else {
            if (failed.isEmpty())
                failed = e;
            ++i;
        }
    }

    if (m_info.contains(kLiveFstart)) {
        const qint64 from = lostTailStart();
        const qint64 end = recordedEnd();
        QString e = from < 0 ? db->lastErr : QString();
        const bool done = from >= 0
                          && recogniseTail(from, end, m_info.value(kLiveLang, projectLang()).toString(),
                                           liveRunSources(), [this](qint64 fend) { setInfo(kLiveFend, fend); }, e);
        if (!done && QThread::currentThread()->isInterruptionRequested())
            return;
        if (done) {
            // A kill leaves the header's sizes stale.
            const QString wav = m_projectDir.absoluteFilePath(QStringLiteral("data.wav"));
            if (QFileInfo::exists(wav))
                truncateWav(wav, end, sampleRate, bytesPerSample);
            forgetLiveRun();
        } else if (failed.isEmpty()) {
            failed = e;
        }
    }
    if (!failed.isEmpty())
        setError(tr("The end of the last recording could not be turned into text: %1\nIts audio stays in the project, "
                     "and the next opening of the project tries again.")
                     .arg(failed));
}

// Recognises bytes from to to of "data.wav" and stores the results as a run
// in lang with these sources would have; stored hears where each stored
// result ends. False with err when the model, the file or the database fails.
bool ProjectMainController::recogniseTail(qint64 from, qint64 to, const QString &lang, const Sources &runSources,
                                         const std::function<void(qint64)> &stored, QString &err)
{
    to = qMin(to, recordedEnd());
    if (to <= from)
        return true;
    sources = runSources;
    VoskThread replay;
    replay.timeOffset = float(double(from) / bytesPerSecond);
    for (const auto &s : sources) {
        if (s.first > from)
            replay.splitAt(s.first - from);
    }
    bool refused = false;
    connect(&replay, &VoskThread::newWords, [this, &refused, &stored](const VoskResult &r) {
        VoskSpeakerInfo spk;
        if (refused || r.words.isEmpty())
            return;
        const VoskProSeg seg = storeResult(r, spk);
        refused = seg.id == 0;
        if (!refused)
            stored(seg.fend);
    });
    ensureModelContext();
    QString e;
    const bool done = modelCtx->load(LangDb::instance()->modelPath(lang), speakerModelPath(), e)
                      && replay.recogniseRecorded(modelCtx, sampleRate,
                                                  m_projectDir.absoluteFilePath(QStringLiteral("data.wav")), from, to);
    if (refused)
        err = db->lastErr;
    else if (!done)
        err = e.isEmpty() ? replay.lastErr() : e;
    return done && !refused;
}

// Where the killed live run's audio still lacks text: after its last stored
// result (and after any segment at all); -1 when the database fails.
qint64 ProjectMainController::lostTailStart() const
{
    const qint64 stored = db ? db->maxSegFend() : 0;
    if (stored < 0)
        return -1;
    return qMax(stored, qMax(m_info.value(kLiveFstart).toLongLong(), m_info.value(kLiveFend).toLongLong()));
}

ProjectMainController::Sources ProjectMainController::liveRunSources() const
{
    const Sources s = sourcesFromList(m_info.value(kLiveSources));
    return s.isEmpty() ? Sources{{m_info.value(kLiveFstart).toLongLong(), 2}} : s;
}

// The audio bytes of "data.wav", in whole samples: a kill leaves the
// header's sizes stale, the file's own size holds.
qint64 ProjectMainController::recordedEnd() const
{
    const QString wav = m_projectDir.absoluteFilePath(QStringLiteral("data.wav"));
    return qMax<qint64>(0, QFileInfo(wav).size() - wavHeaderBytes) / bytesPerSample * bytesPerSample;
}

// A new run appends its audio after that of a killed live run whose text
// could not be made (its model is gone). That audio is set aside with its
// own bytes, language and sources, so that an opening with the model back
// still turns it into text, and the new run's audio never mixes with it.
void ProjectMainController::setAsideLostTail()
{
    if (!m_info.contains(kLiveFstart))
        return;
    // Without the database the run's own mark of its stored results holds.
    const qint64 from
        = qMax(lostTailStart(), qMax(m_info.value(kLiveFstart).toLongLong(), m_info.value(kLiveFend).toLongLong()));
    const qint64 end = recordedEnd();
    if (end > from) {
        // Whole samples, so that the new run's audio starts on one.
        truncateWav(m_projectDir.absoluteFilePath(QStringLiteral("data.wav")), end, sampleRate, bytesPerSample);
        QVariantList pending = m_info.value(kLivePending).toList();
        pending.append(QVariantMap{{kTailFstart, from},
                                   {kTailFend, end},
                                   {kTailLang, m_info.value(kLiveLang, projectLang())},
                                   {kTailSources, sourcesToList(liveRunSources())}});
        m_info.insert(kLivePending, pending);
    }
    forgetLiveRun();
}

void ProjectMainController::forgetLiveRun()
{
    int removed = 0;
    for (const QString &key : {kLiveFstart, kLiveFend, kLiveLang, kLiveSources})
        removed += m_info.remove(key);
    if (removed > 0)
        writeManifest();
}

void ProjectMainController::ensureModelContext()
{
    if (modelCtx)
        return;
    modelCtx = QSharedPointer<VoskModelContext>(new VoskModelContext);
    // It may be made on the opening thread; it serves the runs.
    modelCtx->moveToThread(thread());
    connect(modelCtx.data(), &VoskModelContext::initEnd, this, &ProjectMainController::onVoskModelInitEnd,
            Qt::QueuedConnection);
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
    if (!manifestOk)
        return;
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

    ensureModelContext();
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

    // A file that cannot be converted fails before anything is touched.
    const QString path = QUrl(m_convertFileUrl).toLocalFile();
    qint64 skip = m_convertSkip;
    bool resuming = false;
    if (m_mode == Convert) {
        if (path.isEmpty() || !QFileInfo::exists(path)) {
            e = QStringLiteral("%1 not exists.").arg(path.isEmpty() ? m_convertFileUrl : path);
            return false;
        }
        if (!QFileInfo(path).isFile()) {
            e = QStringLiteral("%1 is not a file.").arg(path);
            return false;
        }
        resuming = prepareResume(skip);
    }

    setAsideLostTail();
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
    // Times are positions in "data.wav", whatever earlier runs left there
    // without a segment.
    runFstart = voskThread->recordedBytes();
    voskThread->timeOffset = float(double(runFstart) / bytesPerSecond);
    sources = {{runFstart, 2}};
    if (m_mode == Record || m_mode == Transcribe)
        setInfo2({{kLiveFstart, runFstart},
                  {kLiveFend, runFstart},
                  {kLiveLang, projectLang()},
                  {kLiveSources, sourcesToList(sources)}});
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
        decoder->startOffset = skip;
        decodedCur = skip;
        QVariantMap m;
        m.insert(kConvert, m_convertFileUrl);
        m.insert(kConvertStatus, 0);
        m.insert(kConvertErr, QString());
        m.insert(kConvertCur, skip);
        m.insert(kConvertFend, runFstart);
        if (!resuming)
            m.insert(kConvertFstart, runFstart);
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

// An interrupted conversion of the same file goes on where its stored
// results end: results stored after the last manifest update are dropped
// (they are recognised again), and so is the audio past that point, unless
// a later run has put its own audio after it. False when this is no resume.
bool ProjectMainController::prepareResume(qint64 &skip)
{
    if (!db || m_info.value(kConvert).toString() != m_convertFileUrl || m_info.value(kConvertStatus).toInt() != 0
        || !m_info.contains(kConvertFend))
        return false;
    const qint64 fend = m_info.value(kConvertFend).toLongLong();
    const qint64 item = db->beginItem(m_convertFileUrl);
    const QList<VoskProSeg> segs = item ? db->loadSegs(item) : QList<VoskProSeg>();
    for (const VoskProSeg &seg : segs) {
        if (seg.fend > fend)
            db->deleteSeg(seg.id);
    }
    cutRecordingBack(fend);
    skip = m_info.value(kConvertCur).toLongLong();
    return true;
}

void ProjectMainController::cutRecordingBack(const QVariant &fstart)
{
    if (!db || !fstart.isValid())
        return;
    const qint64 at = fstart.toLongLong();
    qint64 stored = db->maxSegFend();
    if (stored < 0)
        return;
    // Audio that still waits for its text is a later run's too.
    if (m_info.contains(kLiveFstart))
        stored = qMax(stored, recordedEnd());
    for (const QVariant &tail : m_info.value(kLivePending).toList())
        stored = qMax(stored, tail.toMap().value(kTailFend).toLongLong());
    if (stored <= at)
        truncateWav(m_projectDir.absoluteFilePath(QStringLiteral("data.wav")), at, sampleRate, bytesPerSample);
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
    // The devices hand over what they captured last before the ring closes.
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
    if (ring)
        ring->close();
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
        cutRecordingBack(m_info.value(kConvertFstart));
    } else {
        if (db)
            db->finishItem(convertId);
        m.insert(kConvertCur, decodedCur);
        setConvertProgress(100);
        // Converted, but the user must know what is missing.
        if (decoder->endedEarly())
            setError(tr("The file ended early, at %1 of %2. The text of what was decoded is kept.")
                         .arg(minutesSeconds(decoder->decodedMsecs), minutesSeconds(decoder->declaredMsecs)));
        else if (decoder->skippedPackets > 0)
            setError(tr("%n damaged part(s) of the file could not be decoded and were skipped.", nullptr,
                        decoder->skippedPackets));
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
    // Every result of the run has been stored by now.
    if (m_mode == Record || m_mode == Transcribe)
        forgetLiveRun();
    if (isRunning()) {
        stop();
    } else if (m_mode == Convert && m_info.value(kConvertStatus).toInt() < 1) {
        clearConvertTmp(convertId);
    }
}

void ProjectMainController::onFFMpegProgress(qlonglong cur, qlonglong total, qlonglong totalsecs)
{
    // "convert_cur" moves with the stored results, not with the decoder,
    // which reads ahead of them.
    decodedCur = cur;
    QVariantMap m;
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
        cutRecordingBack(m_info.value(kConvertFstart));
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

QString ProjectMainController::missingConvertFile()
{
    const QString url = m_info.value(kConvert).toString();
    const QString path = QUrl(url).toLocalFile();
    if (url.isEmpty() || (!path.isEmpty() && QFileInfo(path).isFile()))
        return QString();
    return path.isEmpty() ? url : path;
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
    // quiet (and has handed over what it captured) before the new one starts.
    if (other)
        other->setPause(true);
    // The utterance in progress ends here, so each result comes from one source.
    const qint64 at = capturedBytes();
    if (voskThread)
        voskThread->splitAt(at);
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
    sources.append({runFstart + at, m_devid});
    setInfo(kLiveSources, sourcesToList(sources));
    return true;
}

qint64 ProjectMainController::capturedBytes() const
{
    return (micDevice ? micDevice->bytesWritten() : 0) + (loopbackDevice ? loopbackDevice->bytesWritten() : 0);
}

int ProjectMainController::deviceAt(qint64 fstart) const
{
    for (auto it = sources.crbegin(); it != sources.crend(); ++it) {
        if (it->first <= fstart)
            return it->second;
    }
    return m_devid;
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
    VoskSpeakerInfo spk;
    VoskProSeg seg = storeResult(vres, spk);
    if (seg.id == 0) {
        // Text that was not stored must not be shown as stored.
        setError(db->lastErr);
        stop();
        return;
    }
    // The resume point follows what is stored, never ahead of it.
    if (m_mode == Convert && decoder && convertId != 0) {
        const qint64 cur = decoder->positionOfOutput(vres.fend - runFstart);
        if (cur >= 0)
            setInfo2({{kConvertCur, cur}, {kConvertFend, vres.fend}});
    } else if (convertId == 0 && m_info.contains(kLiveFstart)) {
        // A segment deleted later must not come back with the lost tail.
        setInfo(kLiveFend, seg.fend);
    }

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

// One final result as a segment of the current run, with its speaker; id 0
// when the database refused it.
VoskProSeg ProjectMainController::storeResult(const VoskResult &vres, VoskSpeakerInfo &spk)
{
    VoskProSeg seg;
    seg.device = deviceAt(vres.fstart);
    seg.start = vres.words.first().start;
    seg.end = vres.words.last().end;
    seg.fstart = vres.fstart;
    seg.fend = vres.fend;
    seg.html = wordsHtml(vres.words, currentPauseThreshold(), modelIsChinese());

    spk = db->matchSpeaker(vres.spk, vres.spk_frames, 0);
    seg.spkId = spk.id;
    seg.spkName = spk.name;
    seg.id = db->addSeg(seg, rawWordsJson(vres.words), convertId);
    seg.itemId = convertId;
    return seg;
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
