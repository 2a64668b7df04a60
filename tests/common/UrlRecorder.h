#pragma once
// Stands in for the browser and the file manager: takes the addresses that
// pages hand to the desktop for the schemes it is installed for.

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace TestUtil {

class UrlRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList urls MEMBER m_urls NOTIFY changed)

public:
    explicit UrlRecorder(const QStringList &schemes);
    ~UrlRecorder() override;

    Q_INVOKABLE QString last() const { return m_urls.value(m_urls.size() - 1); }

public slots:
    void open(const QUrl &url);
    void clear();

signals:
    void changed();

private:
    QStringList m_schemes;
    QStringList m_urls;
};

}
