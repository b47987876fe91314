#include "pulse_mixer.h"

#include <pulse/pulseaudio.h>

#include <QMetaObject>

#include <algorithm>
#include <string>

namespace velloran {

namespace {
constexpr pa_usec_t kRetryUsec = 1000 * 1000;
} // namespace

// Everything below runs with the main loop's lock held: libpulse holds it
// around its callbacks, the owner's thread takes it around its requests.
struct PulseMixer::Connection {
    explicit Connection(PulseMixer* owner) : owner(owner) {}
    ~Connection();

    void connect();
    void attemptFailed();
    void post(int minimum, int maximum, int value);

    static void onState(pa_context* context, void* self);
    static void onEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                        void* self);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
    static void onSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* self);
    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                        void* self);

    PulseMixer* owner;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_time_event* retry = nullptr;
    bool failureHandled = false; // for the present context
    bool firstAttempt = true;
    std::string sinkName; // the default sink whose volume is set; empty: none known
    uint8_t channels = 0;
};

PulseMixer::Connection::~Connection() {
    if (!loop)
        return;
    pa_threaded_mainloop_lock(loop);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    if (retry)
        api->time_free(retry);
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_threaded_mainloop_unlock(loop);
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

void PulseMixer::Connection::connect() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_set_subscribe_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    sinkName.clear();
    failureHandled = false;
    context = pa_context_new(api, "Velloran");
    if (!context) {
        attemptFailed();
        return;
    }
    pa_context_set_state_callback(context, &Connection::onState, this);
    // Never start a sound server of our own: the desktop's is the mixer.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        attemptFailed();
}

void PulseMixer::Connection::attemptFailed() {
    if (failureHandled)
        return;
    failureHandled = true;
    sinkName.clear();
    if (firstAttempt) {
        firstAttempt = false;
        QMetaObject::invokeMethod(
            owner, [o = owner] { emit o->unavailable(); }, Qt::QueuedConnection);
    }
    if (!retry) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        struct timeval tv;
        pa_timeval_add(pa_gettimeofday(&tv), kRetryUsec);
        retry = api->time_new(api, &tv, &Connection::onRetry, this);
    }
}

void PulseMixer::Connection::onRetry(pa_mainloop_api* api, pa_time_event* event,
                                     const struct timeval*, void* self) {
    auto* c = static_cast<Connection*>(self);
    api->time_free(event);
    c->retry = nullptr;
    c->connect();
}

void PulseMixer::Connection::post(int minimum, int maximum, int value) {
    QMetaObject::invokeMethod(
        owner,
        [o = owner, minimum, maximum, value] {
            emit o->volumeControlFound(minimum, maximum, value);
        },
        Qt::QueuedConnection);
}

void PulseMixer::Connection::onState(pa_context* context, void* self) {
    auto* c = static_cast<Connection*>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        c->firstAttempt = false;
        pa_context_set_subscribe_callback(context, &Connection::onEvent, c);
        // Server events tell of a new default sink.
        if (pa_operation* op =
                pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr))
            pa_operation_unref(op);
        if (pa_operation* op = pa_context_get_server_info(context, &Connection::onServerInfo, c))
            pa_operation_unref(op);
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        c->attemptFailed();
        break;
    default:
        break;
    }
}

void PulseMixer::Connection::onEvent(pa_context* context, pa_subscription_event_type_t type,
                                     uint32_t, void* self) {
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER)
        return;
    if (pa_operation* op = pa_context_get_server_info(context, &Connection::onServerInfo, self))
        pa_operation_unref(op);
}

void PulseMixer::Connection::onServerInfo(pa_context* context, const pa_server_info* info,
                                          void* self) {
    auto* c = static_cast<Connection*>(self);
    if (!info || !info->default_sink_name || !*info->default_sink_name) {
        c->sinkName.clear(); // no output: nothing to set
        return;
    }
    if (c->sinkName == info->default_sink_name)
        return;
    if (pa_operation* op = pa_context_get_sink_info_by_name(context, info->default_sink_name,
                                                            &Connection::onSinkInfo, c))
        pa_operation_unref(op);
}

void PulseMixer::Connection::onSinkInfo(pa_context*, const pa_sink_info* info, int eol,
                                        void* self) {
    if (eol != 0 || !info)
        return;
    auto* c = static_cast<Connection*>(self);
    c->sinkName = info->name;
    c->channels = info->volume.channels;
    c->post(0, kMaxValue, fromPulse(pa_cvolume_max(&info->volume)));
}

PulseMixer::PulseMixer(QObject* parent) : Mixer(parent) {}

PulseMixer::~PulseMixer() = default;

void PulseMixer::open() {
    if (connection_)
        return;
    connection_ = std::make_unique<Connection>(this);
    Connection& c = *connection_;
    c.loop = pa_threaded_mainloop_new();
    if (!c.loop || pa_threaded_mainloop_start(c.loop) < 0) {
        if (c.loop)
            pa_threaded_mainloop_free(c.loop);
        c.loop = nullptr;
        QMetaObject::invokeMethod(
            this, [this] { emit unavailable(); }, Qt::QueuedConnection);
        return;
    }
    pa_threaded_mainloop_lock(c.loop);
    c.connect();
    pa_threaded_mainloop_unlock(c.loop);
}

bool PulseMixer::setVolume(int value) {
    if (!connection_ || !connection_->loop)
        return false;
    Connection& c = *connection_;
    pa_threaded_mainloop_lock(c.loop);
    bool queued = false;
    if (c.context && !c.sinkName.empty() && c.channels > 0) {
        pa_cvolume volume;
        pa_cvolume_set(&volume, c.channels, toPulse(value));
        if (pa_operation* op = pa_context_set_sink_volume_by_name(c.context, c.sinkName.c_str(),
                                                                  &volume, nullptr, nullptr)) {
            pa_operation_unref(op);
            queued = true;
        }
    }
    pa_threaded_mainloop_unlock(c.loop);
    return queued;
}

quint32 PulseMixer::toPulse(int value) {
    const qint64 v = std::clamp(value, 0, kMaxValue);
    return static_cast<quint32>((v * PA_VOLUME_NORM + kMaxValue / 2) / kMaxValue);
}

int PulseMixer::fromPulse(quint32 volume) {
    const qint64 v = std::min<qint64>(volume, PA_VOLUME_NORM);
    return static_cast<int>((v * kMaxValue + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM);
}

} // namespace velloran
