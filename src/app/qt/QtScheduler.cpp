#include "app/qt/QtScheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <chrono>

namespace keyglass {

QtScheduler::QtScheduler() : m_context(std::make_unique<QObject>())
{
    if (QCoreApplication::instance())
        m_context->moveToThread(QCoreApplication::instance()->thread());
}

QtScheduler::~QtScheduler() = default;

void QtScheduler::postMain(Task task)
{
    QMetaObject::invokeMethod(
        m_context.get(), [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

CancelToken QtScheduler::postMainAfter(Duration delay, Task task)
{
    auto token = CancelToken::make();
    // Round up: a timer that fires early would clear a toast or flash before its time.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay).count();
    QObject* context = m_context.get();
    auto arm = [context, ms, token, task = std::move(task)] {
        QTimer::singleShot(std::chrono::milliseconds(ms), context, [token, task] {
            if (!token.isCancelled())
                task();
        });
    };
    if (QThread::currentThread() == context->thread())
        arm();
    else
        QMetaObject::invokeMethod(context, std::move(arm), Qt::QueuedConnection);
    return token;
}

void QtScheduler::postIO(Task task)
{
    m_io.post(Duration::zero(), std::move(task));
}

CancelToken QtScheduler::postIOAfter(Duration delay, Task task)
{
    return m_io.post(delay, std::move(task));
}

} // namespace keyglass
