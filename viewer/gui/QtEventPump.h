// The event pump of the widgets' event loop: lets the pending events of the UI thread run.
#pragma once

#include "platform/EventPump.h"

namespace veltrane {

class QtEventPump final : public EventPump {
public:
    void DoEvents() override;
};

}  // namespace veltrane
