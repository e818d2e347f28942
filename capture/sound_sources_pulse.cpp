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

#include <cstring>
#include <utility>

namespace {

constexpr pa_usec_t kAnswerTimeout = 2 * PA_USEC_PER_SEC;
// A source is chosen and compared by its whole name, never by a part of it, which could be
// another source's name. The server's texts are bounded all the same: a source whose name is
// longer than this is left out of the list.
constexpr std::size_t kMaxNameBytes = 4096;

struct Listing {
    std::vector<SoundSource> *sources;
    std::string *default_source;
    int waiting = 2; // answers still to come: the server's defaults and the source list
    bool failed = false;
    bool timed_out = false;
};

// The whole name, or an empty string when there is none or it is too long to keep.
std::string whole_name(const char *name) {
    return name && std::strlen(name) <= kMaxNameBytes ? std::string(name) : std::string();
}

void on_server_info(pa_context *, const pa_server_info *info, void *data) {
    auto *listing = static_cast<Listing *>(data);
    if (info) {
        *listing->default_source = whole_name(info->default_source_name);
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
    if (info && listing->sources->size() < kMaxSoundSources) {
        std::string name = whole_name(info->name);
        if (!name.empty()) {
            const bool described = info->description && info->description[0] != '\0';
            std::string shown = shown_text(described ? info->description : info->name);
            listing->sources->push_back(SoundSource{std::move(name), std::move(shown)});
        }
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
