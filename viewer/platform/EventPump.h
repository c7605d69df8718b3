// Long operations of the viewer let pending events run at fixed points. The core never calls the
// toolkit itself: the application hands it a pump that does (the widgets' event loop), and the
// batch tool and the tests hand it one that does nothing.
#pragma once

namespace veltrane {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Lets the events that are waiting run, then returns.
    virtual void DoEvents() = 0;
};

// A pump for callers without an event loop.
class NoEventPump final : public EventPump {
public:
    void DoEvents() override {}
};

}  // namespace veltrane
