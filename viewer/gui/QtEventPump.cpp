#include "gui/QtEventPump.h"

#include <QCoreApplication>

namespace veltrane {

void QtEventPump::DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace veltrane
