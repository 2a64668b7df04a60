#pragma once
// Installs one language model: picks where the archive goes, downloads it from
// the model endpoint when it is not on disk yet, unpacks it beside itself and
// records the unpacked folder in the language catalogue.

#include "engine/DownloadFileThread.h"

#include <QDir>
#include <QString>
#include <QStringList>

// Unpacks archive into dest and returns the absolute path of the first entry
// it created, or an empty text when it created none or the archive turned out
// to be damaged. Every entry must lie in the first entry's top folder (the
// model's own folder); others, entries that would land outside dest and
// symbolic links are skipped. A hard link becomes a copy of a file unpacked
// before it, and one to anything else counts as damage. receiver's slot
// (qlonglong cur, qlonglong total, QString file) is called at most once a
// second. Throws std::runtime_error when a file cannot be written or when the
// calling thread is asked to stop. On every failure what was unpacked is
// removed again; on success created (when given) lists it, oldest first.
QString unzipModelArchive(const QString &archivePath, const QDir &dest, QObject *receiver, const char *slot,
                          QStringList *created = nullptr);

// Removes what unzipModelArchive created, newest first; folders that hold
// anything else stay.
void removeUnpacked(const QStringList &created);

// True when folder holds what Vosk needs to load a model: the acoustic model,
// the feature configuration and a decoding graph.
bool isUsableModel(const QString &folder);

class LangModelInstallThread : public DownloadFileThread
{
    Q_OBJECT

public:
    explicit LangModelInstallThread(QObject *parent = nullptr);

    // Set by the owner before start() and not changed afterwards.
    QString lang() const { return m_lang; }
    void setLang(const QString &lang) { m_lang = lang; }
    // A folder to install into, or an archive already on disk, as a URL.
    QString url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }
    bool removeAfterInstall() const { return m_removeAfterInstall; }

public slots:
    void unzipProgressUpdate(qlonglong cur, qlonglong total, QString curfile);

protected:
    bool beforeDownload() override;
    void afterDownload() override;

private:
    QString m_lang;
    QString m_url;
    bool m_removeAfterInstall = false;
};
