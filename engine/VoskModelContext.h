#pragma once
// Loads a Vosk language model and speaker model on its own thread and keeps
// them across runs.

#include <QString>
#include <QThread>

#include "engine/VoskApi.h"

class VoskModelContext : public QThread
{
    Q_OBJECT

public:
    explicit VoskModelContext(QObject *parent = nullptr);
    ~VoskModelContext() override;

    bool isChinese() const;
    VoskModel *model() const { return m_model; }
    VoskSpkModel *spkModel() const { return m_spkModel; }
    QString description() const { return m_description; }

    // Loads what beginInit would, on the calling thread; false with the
    // error text when a model cannot be loaded.
    bool load(const QString &mp, const QString &spkmp, QString &err);

signals:
    void initEnd(bool ok, QString err);

public slots:
    void beginInit(QString mp, QString spkmp);

protected:
    void run() override;

private:
    void setPaths(const QString &mp, const QString &spkmp);
    QString loadMissing();

    VoskModel *m_model = nullptr;
    VoskSpkModel *m_spkModel = nullptr;
    QString mp;
    QString spkmp;
    QString m_description;
};
