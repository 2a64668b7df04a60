#pragma once
// A thread that runs one callable returning bool and, when a receiver and a
// method name are given, hands the result to that method through the
// receiver's event loop.

#include "util/ThreadEndMark.h"

#include <QMetaObject>
#include <QThread>

#include <utility>

template<typename Work>
class TodoInThread : public QThread
{
public:
    TodoInThread(Work work, QObject *receiver, const char *method, QObject *parent = nullptr)
        : QThread(parent)
        , work(std::move(work))
        , receiver(receiver)
        , method(method)
    {
    }

protected:
    void run() override
    {
        const ThreadEndMark endMark(this);
        const bool r = work();
        if (receiver && method)
            QMetaObject::invokeMethod(receiver, method, Qt::QueuedConnection, Q_ARG(bool, r));
    }

private:
    Work work;
    QObject *receiver;
    const char *method;
};

template<typename Work>
TodoInThread<Work> *makeTodoInThread(Work work, QObject *receiver, const char *method, QObject *parent)
{
    return new TodoInThread<Work>(std::move(work), receiver, method, parent);
}
