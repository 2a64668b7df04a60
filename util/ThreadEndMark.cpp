#include "util/ThreadEndMark.h"

#if defined(__SANITIZE_THREAD__)

#include <QDeadlineTimer>
#include <QEvent>
#include <QThread>

#include <climits>
#include <dlfcn.h>

extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

// Qt 5's declarations (qobject_p.h, a private header) of its signal hooks and
// of the event that carries a queued call; Qt 5.15 keeps this layout.
struct QSignalSpyCallbackSet
{
    void (*signalBegin)(QObject *caller, int signalIndex, void **argv);
    void (*slotBegin)(QObject *caller, int methodIndex, void **argv);
    void (*signalEnd)(QObject *caller, int signalIndex);
    void (*slotEnd)(QObject *caller, int methodIndex);
};
void qt_register_signal_spy_callbacks(QSignalSpyCallbackSet *callbackSet);

namespace {

struct MetaCallEvent : QEvent
{
    int signalId;
    const QObject *sender;
};

// A queued call travels through the receiving thread's posted-event queue,
// whose futex-based lock ThreadSanitizer cannot see. An emission releases on
// its sender and the delivery of a call from that sender acquires, as the
// queue's lock does. The end of an emission releases again, so what a
// finishing QThread's finished() reads is ordered before QThread::wait().
void releaseSender(QObject *sender, int, void **)
{
    __tsan_release(sender);
}

void releaseSenderAtEnd(QObject *sender, int)
{
    __tsan_release(sender);
}

bool acquireQueuedCall(void **data)
{
    const auto *event = static_cast<QEvent *>(data[1]);
    if (event->type() == QEvent::MetaCall) {
        if (const QObject *sender = static_cast<const MetaCallEvent *>(event)->sender)
            __tsan_acquire(const_cast<QObject *>(sender));
        else
            __tsan_acquire(data[0]);
    }
    return false;
}

const bool handOversSeen = [] {
    static QSignalSpyCallbackSet callbacks{releaseSender, nullptr, releaseSenderAtEnd, nullptr};
    qt_register_signal_spy_callbacks(&callbacks);
    return QInternal::registerCallback(QInternal::EventNotifyCallback, acquireQueuedCall);
}();

}

ThreadEndMark::~ThreadEndMark()
{
    __tsan_release(const_cast<QThread *>(m_thread));
}

// Our calls to QThread::wait bind to these definitions in sanitizer builds;
// they wait through Qt's own and then take the thread's end mark.
bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread *, QDeadlineTimer);
    static const Wait qtWait = reinterpret_cast<Wait>(dlsym(RTLD_NEXT, "_ZN7QThread4waitE14QDeadlineTimer"));
    const bool finished = qtWait(this, deadline);
    if (finished)
        __tsan_acquire(this);
    return finished;
}

bool QThread::wait(unsigned long time)
{
    return wait(time == ULONG_MAX ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(qint64(time)));
}

namespace {

// The caller lets go of a queued functor after posting it, which may be after
// the receiver's thread has run it; whichever lets go last destroys it, by a
// count the checker cannot see. The end of the call releases, and the
// destruction acquires, so what the call did is ordered before it.
class OrderedSlot : public QtPrivate::QSlotObjectBase
{
public:
    explicit OrderedSlot(QtPrivate::QSlotObjectBase *inner) : QSlotObjectBase(&impl), m_inner(inner) {}

private:
    static void impl(int which, QSlotObjectBase *self, QObject *receiver, void **args, bool *)
    {
        auto *that = static_cast<OrderedSlot *>(self);
        if (which == Call) {
            that->m_inner->call(receiver, args);
            __tsan_release(that);
        } else if (which == Destroy) {
            __tsan_acquire(that);
            that->m_inner->destroyIfLastRef();
            delete that;
        }
    }

    QtPrivate::QSlotObjectBase *m_inner;
};

}

// A functor that QMetaObject::invokeMethod queues travels without a sender:
// the call releases on its receiver, and the delivery of a call without a
// sender acquires there (acquireQueuedCall).
bool QMetaObject::invokeMethodImpl(QObject *object, QtPrivate::QSlotObjectBase *slot, Qt::ConnectionType type, void *ret)
{
    using Invoke = bool (*)(QObject *, QtPrivate::QSlotObjectBase *, Qt::ConnectionType, void *);
    static const Invoke qtInvoke = reinterpret_cast<Invoke>(
        dlsym(RTLD_NEXT, "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv"));
    const bool queued = type == Qt::QueuedConnection || type == Qt::BlockingQueuedConnection
        || (type == Qt::AutoConnection && object && object->thread() != QThread::currentThread());
    if (queued) {
        slot = new OrderedSlot(slot);
        __tsan_release(object);
    }
    return qtInvoke(object, slot, type, ret);
}

#else

ThreadEndMark::~ThreadEndMark() = default;

#endif
