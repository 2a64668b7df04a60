#pragma once
// The work on one open project: one run at a time (microphone recording, live
// transcription of the computer's sound, or a media file conversion), the
// manifest in memory, the open project database shared with the item models,
// what becomes of the recogniser's results, and segment playback.

#include <QDir>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

#include <atomic>
#include <functional>

#include "app/Initable.h"
#include "engine/VoskPlaybackMgr.h"
#include "engine/VoskTypes.h"
#include "storage/VoskProDb.h"

class AudioFFMpegDecodeThread;
class MALoopbackDevice;
class RingBuffer;
class VoskModelContext;
class VoskThread;

class ProjectMainController : public QObject, public Initable
{
    Q_OBJECT
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)
    Q_PROPERTY(bool hasErr READ hasErr WRITE setHasErr NOTIFY hasErrChanged)
    Q_PROPERTY(int isStarting READ isStarting WRITE setIsStarting NOTIFY isStartingChanged)
    Q_PROPERTY(int isRunning READ isRunning WRITE setIsRunning NOTIFY isRunningChanged)
    Q_PROPERTY(int isPaused READ isPaused WRITE setIsPaused NOTIFY isPausedChanged)
    Q_PROPERTY(Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(int devid READ devid WRITE setDevid NOTIFY devidChanged)
    Q_PROPERTY(QString projectName READ projectName WRITE setProjectName NOTIFY projectNameChanged)
    Q_PROPERTY(QString projectLang READ projectLang WRITE setProjectLang NOTIFY projectLangChanged)
    Q_PROPERTY(double speed READ speed WRITE setSpeed NOTIFY speedChanged)
    Q_PROPERTY(int playIdx READ playIdx WRITE setPlayIdx NOTIFY playIdxChanged)
    Q_PROPERTY(bool playPaused READ playPaused WRITE setPlayPaused NOTIFY playPausedChanged)
    Q_PROPERTY(QString projectUrl READ projectUrl CONSTANT)
    Q_PROPERTY(bool highlightLast READ highlightLast WRITE setHighlightLast NOTIFY highlightLastChanged)
    Q_PROPERTY(qlonglong startSecs READ startSecs WRITE setStartSecs NOTIFY startSecsChanged)
    Q_PROPERTY(QString convertFileUrl READ convertFileUrl WRITE setConvertFileUrl NOTIFY convertFileUrlChanged)
    Q_PROPERTY(qlonglong convertSkip READ convertSkip WRITE setConvertSkip NOTIFY convertSkipChanged)
    Q_PROPERTY(int convertProgress READ convertProgress WRITE setConvertProgress NOTIFY convertProgressChanged)

public:
    enum Mode { None = 0, Record = 1, Convert = 2, Transcribe = 3 };
    Q_ENUM(Mode)

    explicit ProjectMainController(QObject *parent = nullptr);
    ~ProjectMainController() override;

    void setProjectDir(const QString &path);
    // Opens the project database; runs on the opening thread.
    bool init(QString &err) override;

    void setError(const QString &err);

    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &v);
    bool hasErr() const { return m_hasErr; }
    void setHasErr(bool v);
    int isStarting() const { return m_isStarting.load(); }
    void setIsStarting(int v);
    int isRunning() const { return m_isRunning.load(); }
    void setIsRunning(int v);
    int isPaused() const { return m_isPaused.load(); }
    void setIsPaused(int v);
    Mode mode() const { return m_mode; }
    void setMode(Mode v);
    int devid() const { return m_devid; }
    void setDevid(int v);
    QString projectName() const;
    void setProjectName(const QString &v);
    QString projectLang() const;
    void setProjectLang(const QString &v);
    double speed() const { return m_speed; }
    void setSpeed(double v);
    int playIdx() const { return m_playIdx; }
    void setPlayIdx(int v);
    bool playPaused() const { return m_playPaused; }
    void setPlayPaused(bool v);
    QString projectUrl() const;
    bool highlightLast() const { return m_highlightLast; }
    void setHighlightLast(bool v);
    qlonglong startSecs() const { return m_startSecs; }
    void setStartSecs(qlonglong v);
    QString convertFileUrl() const { return m_convertFileUrl; }
    void setConvertFileUrl(const QString &v);
    qlonglong convertSkip() const { return m_convertSkip; }
    void setConvertSkip(qlonglong v);
    int convertProgress() const { return m_convertProgress; }
    void setConvertProgress(int v);

    QDir projectDir() const { return m_projectDir; }

    // The segment HTML of a word list: a line break before a word that follows
    // a pause longer than the threshold, a space before each word unless the
    // model is Chinese, the words HTML-escaped.
    static QString wordsHtml(const VoskWordList &words, double pauseThreshold, bool chinese);
    // The pause threshold for a manifest "srate" value.
    static double pauseThreshold(const QVariant &srate);
    // The segment's words as indented JSON, one object per word.
    static QString rawWordsJson(const VoskWordList &words);

    // Shared with the conversation and comment models.
    QSharedPointer<VoskProDb> db;

signals:
    void started(bool suc);
    void stopped();
    void partialResult(int dev, QString html);
    void newResult(VoskSpeakerInfo spk, VoskProSeg seg);
    void playEnded(int playId, bool hasErr, QString err);
    void newHighlight(QVariant hl);
    void afterClearConvertTmp(qlonglong convertId);
    void voskAtEnd();
    void lastErrChanged();
    void hasErrChanged();
    void isRunningChanged();
    void isPausedChanged();
    void isStartingChanged();
    void modeChanged();
    void devidChanged();
    void projectNameChanged();
    void projectLangChanged();
    void speedChanged();
    void playIdxChanged();
    void playPausedChanged();
    void highlightLastChanged();
    void startSecsChanged();
    void convertFileUrlChanged();
    void convertSkipChanged();
    void convertProgressChanged();

public slots:
    void play(int idx, qlonglong fstart, qlonglong fend);
    void playStop();
    void playPause();
    void playResume();
    void startRecord();
    void startTranscribe();
    void startConvert();
    void restart();
    void stop();
    void start(int mode);
    void onVoskModelInitEnd(bool suc, QString err);
    void onVoskTdFinished();
    void onVoskNewWords(VoskResult vres);
    void onVoskPartialNewWord(VoskWordList words);
    void onPlayEnded(bool hasErr, QString err);
    void onFFMpegFinished();
    void onVoskAtEnd();
    void onFFMpegProgress(qlonglong cur, qlonglong total, qlonglong totalsecs);
    void clearConvertTmp(qlonglong convertId);

public:
    Q_INVOKABLE QVariant info(const QString &key) const;
    Q_INVOKABLE void setInfo(const QString &key, const QVariant &val);
    Q_INVOKABLE void setInfo2(const QVariantMap &vals);
    Q_INVOKABLE void togglePause();
    Q_INVOKABLE bool switchToMic();
    Q_INVOKABLE bool switchToLoopback();
    Q_INVOKABLE bool isConvertingFile();
    Q_INVOKABLE int convertStatus();
    Q_INVOKABLE void convertClear();
    Q_INVOKABLE void convertContinue();
    // The local path of the interrupted conversion's file when that file is
    // gone (or is no file), else an empty text.
    Q_INVOKABLE QString missingConvertFile();

private:
    bool startPipeline(bool suc, const QString &ctxErr, QString &e);
    bool openInputDevice(bool loopback, MALoopbackDevice *dev, QString &e);
    bool switchTo(bool loopback);
    void recordConvertOutcome();
    using Sources = QVector<QPair<qint64, int>>;
    void recogniseLostTail();
    bool recogniseTail(qint64 from, qint64 to, const QString &lang, const Sources &runSources,
                       const std::function<void(qint64)> &stored, QString &err);
    qint64 lostTailStart() const;
    Sources liveRunSources() const;
    qint64 recordedEnd() const;
    void setAsideLostTail();
    void forgetLiveRun();
    void ensureModelContext();
    VoskProSeg storeResult(const VoskResult &vres, VoskSpeakerInfo &spk);
    bool prepareResume(qint64 &skip);
    void cutRecordingBack(const QVariant &fstart);
    int deviceAt(qint64 fstart) const;
    qint64 capturedBytes() const;
    void writeManifest();
    double currentPauseThreshold() const;
    bool modelIsChinese() const;
    static QString speakerModelPath();

    QDir m_projectDir;
    QVariantMap m_info;
    // False when the manifest did not read as a JSON object: the project is
    // refused and the file is never written over.
    bool manifestOk = true;
    QSharedPointer<RingBuffer> ring;
    QSharedPointer<VoskModelContext> modelCtx;
    MALoopbackDevice *curDevice = nullptr;
    int m_devid = 0;
    MALoopbackDevice *loopbackDevice = nullptr;
    MALoopbackDevice *micDevice = nullptr;
    VoskThread *voskThread = nullptr;
    AudioFFMpegDecodeThread *decoder = nullptr;
    VoskPlaybackMgr playbackMgr;
    // The play whose end counts; a replaced play may still report late.
    QPointer<VoskPlaybackNotif> currentPlay;
    Mode m_mode = None;
    std::atomic<int> m_isStarting{0};
    std::atomic<int> m_isRunning{0};
    std::atomic<int> m_isPaused{0};
    bool m_hasErr = false;
    QString m_lastErr;
    double m_speed = 1.0;
    int m_playIdx = -1;
    bool m_playPaused = false;
    bool m_highlightLast = false;
    qlonglong m_startSecs = 0;
    QString m_convertFileUrl;
    qlonglong m_convertSkip = 0;
    qlonglong convertId = 0;
    int m_convertProgress = 0;
    // Counts runs; reports of an older run's threads are dropped.
    quint64 runGen = 0;
    // Set once a stopped conversion's item is removed: the drained recogniser
    // must not store segments for it.
    bool dropResults = false;
    // Where this run's audio begins in "data.wav" (bytes after the header).
    qint64 runFstart = 0;
    // The source in force from each position of "data.wav" on, in order.
    QVector<QPair<qint64, int>> sources;
    // The decoder's last reported position.
    qlonglong decodedCur = 0;
};
