#pragma once
// Makes a list of objects ready on a worker thread: calls each one's
// Initable::init in order, stops at the first failure and reports once.

#include <QThread>
#include <QVariantList>

class InitablesThread : public QThread
{
    Q_OBJECT
    Q_PROPERTY(QVariantList inits READ inits WRITE setInits NOTIFY initsChanged)

public:
    explicit InitablesThread(QObject *parent = nullptr);
    // Waits for a running init instead of killing the thread: a killed init
    // could leave a project database half-written. Later elements are skipped.
    ~InitablesThread() override;

    // Skips what has not started and waits for the running init; the page
    // calls it before the objects it opens go.
    Q_INVOKABLE void cancel();

    QVariantList inits() const { return m_inits; }
    void setInits(const QVariantList &inits);

signals:
    void initsChanged();
    void initFinished(bool res, QString err);

protected:
    void run() override;

private:
    QVariantList m_inits;
};
