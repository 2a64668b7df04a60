#include "engine/VoskModelContext.h"

#include <QDir>
#include <QFile>

#include "util/Platform.h"
#include "util/ThreadEndMark.h"

VoskModelContext::VoskModelContext(QObject *parent)
    : QThread(parent)
{
}

VoskModelContext::~VoskModelContext()
{
    wait();
    if (m_model)
        vosk_model_free(m_model);
    if (m_spkModel)
        vosk_spk_model_free(m_spkModel);
}

void VoskModelContext::beginInit(QString mp, QString spkmp)
{
    setPaths(mp, spkmp);
    if (m_model && m_spkModel) {
        emit initEnd(true, QString());
        return;
    }
    start(QThread::InheritPriority);
}

bool VoskModelContext::load(const QString &mp, const QString &spkmp, QString &err)
{
    setPaths(mp, spkmp);
    err = loadMissing();
    return err.isEmpty();
}

// Frees each model whose folder changes and takes the new folders.
void VoskModelContext::setPaths(const QString &mp, const QString &spkmp)
{
    // A load still under way owns the fields below until it ends.
    wait();
    const Qt::CaseSensitivity cs = Platform::fileNameCaseSensitivity();
    if (m_model && QString::compare(mp, this->mp, cs) != 0) {
        vosk_model_free(m_model);
        m_model = nullptr;
    }
    if (m_spkModel && QString::compare(spkmp, this->spkmp, cs) != 0) {
        vosk_spk_model_free(m_spkModel);
        m_spkModel = nullptr;
    }
    QFile readme(QDir(mp).filePath(QStringLiteral("README")));
    if (readme.open(QIODevice::ReadOnly))
        m_description = QString::fromUtf8(readme.readLine()).trimmed();
    this->mp = mp;
    this->spkmp = spkmp;
}

void VoskModelContext::run()
{
    const ThreadEndMark endMark(this);
    const QString err = loadMissing();
    emit initEnd(err.isEmpty(), err);
}

// Loads the models not loaded yet; the error text, empty on success.
QString VoskModelContext::loadMissing()
{
    if (!m_model) {
        m_model = vosk_model_new(mp.toLocal8Bit().constData());
        if (!m_model)
            return QStringLiteral("Failed to initialize vosk model.");
    }
    if (!m_spkModel) {
        m_spkModel = vosk_spk_model_new(spkmp.toLocal8Bit().constData());
        if (!m_spkModel)
            return QStringLiteral("Failed to initialize vosk spk-model.");
    }
    return QString();
}

bool VoskModelContext::isChinese() const
{
    return m_description.contains(QLatin1String("chinese"), Qt::CaseInsensitive);
}
