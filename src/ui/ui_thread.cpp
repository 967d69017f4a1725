#include "ui/ui_thread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace kestrine {

void UiThread::Run(QObject* context, const std::function<void()>& change) {
  if (QThread::currentThread() == context->thread()) {
    change();
    return;
  }
  QMetaObject::invokeMethod(context, change, Qt::BlockingQueuedConnection);
}

void UiThread::WaitUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void UiThread::Wake(QObject* context) {
  QMetaObject::invokeMethod(
      context, [] {}, Qt::QueuedConnection);
}

}  // namespace kestrine
