// The sound server's sources for the "Record from" menu, read over a short connection of
// the window thread's own: a plain PulseAudio mainloop run right here until the server
// has answered both questions (its default input, its sources), or for at most 2 s.
// Nothing is kept and nothing is asked at any other time.

#include "capture/recording_source.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/timeval.h>

#include <sys/time.h>

namespace {

constexpr pa_usec_t kAnswerTimeout = 2 * PA_USEC_PER_SEC;
constexpr std::size_t kMaxTextBytes = 256; // a longer name or description is cut

struct Listing {
    std::vector<SoundSource> *sources;
    std::string *default_source;
    int waiting = 2; // answers still to come: the server's defaults and the source list
    bool failed = false;
    bool timed_out = false;
};

std::string bounded(const char *text) {
    return text ? std::string(text).substr(0, kMaxTextBytes) : std::string();
}

void on_server_info(pa_context *, const pa_server_info *info, void *data) {
    auto *listing = static_cast<Listing *>(data);
    if (info) {
        *listing->default_source = bounded(info->default_source_name);
    }
    --listing->waiting;
}

void on_source(pa_context *, const pa_source_info *info, int eol, void *data) {
    auto *listing = static_cast<Listing *>(data);
    if (eol < 0) {
        listing->failed = true;
    }
    if (eol != 0) {
        --listing->waiting;
        return;
    }
    if (info && info->name && listing->sources->size() < kMaxSoundSources) {
        SoundSource source{bounded(info->name), bounded(info->description)};
        if (source.description.empty()) {
            source.description = source.name;
        }
        listing->sources->push_back(source);
    }
}

void on_timeout(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *data) {
    static_cast<Listing *>(data)->timed_out = true;
}

// Runs the mainloop until the listing is complete, failed or timed out; true if complete.
bool run_until_answered(pa_mainloop *loop, pa_context *context, Listing &listing) {
    bool asked = false;
    while (!listing.timed_out && !listing.failed) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (!PA_CONTEXT_IS_GOOD(state)) {
            return false;
        }
        if (state == PA_CONTEXT_READY && !asked) {
            asked = true;
            pa_operation *info = pa_context_get_server_info(context, on_server_info, &listing);
            pa_operation *list = pa_context_get_source_info_list(context, on_source, &listing);
            if (info) {
                pa_operation_unref(info);
            }
            if (list) {
                pa_operation_unref(list);
            }
            if (!info || !list) {
                return false;
            }
        }
        if (asked && listing.waiting == 0) {
            return true;
        }
        if (pa_mainloop_iterate(loop, 1, nullptr) < 0) {
            return false;
        }
    }
    return false;
}

} // namespace

bool list_server_sources(std::vector<SoundSource> *sources, std::string *default_source) {
    sources->clear();
    default_source->clear();
    pa_mainloop *loop = pa_mainloop_new();
    if (!loop) {
        return false;
    }
    pa_mainloop_api *api = pa_mainloop_get_api(loop);
    Listing listing{sources, default_source};
    struct timeval deadline;
    pa_timeval_add(pa_gettimeofday(&deadline), kAnswerTimeout);
    pa_time_event *timer = api->time_new(api, &deadline, on_timeout, &listing);
    pa_context *context = pa_context_new(api, "Sonavex");
    bool answered = false;
    if (timer && context &&
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        answered = run_until_answered(loop, context, listing);
    }
    if (context) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    if (timer) {
        api->time_free(timer);
    }
    pa_mainloop_free(loop);
    if (!answered) {
        sources->clear();
        default_source->clear();
    }
    return answered;
}
