#include "common/UrlRecorder.h"

#include <QDesktopServices>

namespace TestUtil {

UrlRecorder::UrlRecorder(const QStringList &schemes)
    : m_schemes(schemes)
{
    for (const QString &s : schemes)
        QDesktopServices::setUrlHandler(s, this, "open");
}

UrlRecorder::~UrlRecorder()
{
    for (const QString &s : qAsConst(m_schemes))
        QDesktopServices::unsetUrlHandler(s);
}

void UrlRecorder::open(const QUrl &url)
{
    m_urls << url.toString();
    emit changed();
}

void UrlRecorder::clear()
{
    m_urls.clear();
    emit changed();
}

}
