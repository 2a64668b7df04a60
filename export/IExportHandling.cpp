#include "export/IExportHandling.h"

#include "projects/BatchHandlingItemModel.h"

IExportHandling::IExportHandling(QObject *parent)
    : QObject(parent)
    , m_batch(qobject_cast<BatchHandlingItemModel *>(parent))
{
}

void IExportHandling::setErr(const QString &e)
{
    hasErr = true;
    err = e;
}

bool IExportHandling::isCanceled() const
{
    return m_batch && m_batch->isCanceled();
}
