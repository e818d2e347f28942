#include "priority.h"

#include <QDir>
#include <QStringList>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

// The nice value the program asks for while it stays on top; the system may grant less.
static constexpr int kRaisedNice = -10;

static bool g_known = false;  // whether g_normalNice has been read
static int g_normalNice = 0;  // the nice value at start, restored when lowering ends
static int g_currentNice = 0; // the nice value every thread was last given

// On Linux each thread has its own nice value; PulseAudio's client thread, which fills the
// capture buffers, matters as much as the window's.
static void set_all_threads(int nice) {
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(task.toInt()), nice);
    }
}

// The lowest nice value this process may take: RLIMIT_NICE allows 20 - limit.
static int lowest_permitted_nice() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return -20;
    }
    return 20 - static_cast<int>(limit.rlim_cur);
}

void raise_priority() {
    if (!g_known) {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, 0);
        g_normalNice = errno == 0 ? nice : 0;
        g_known = true;
    }
    int target = kRaisedNice;
    if (geteuid() != 0) {
        target = qMax(target, lowest_permitted_nice());
    }
    if (target < g_normalNice) {
        set_all_threads(target);
        g_currentNice = target;
    }
}

void restore_priority() {
    if (g_known) {
        set_all_threads(g_normalNice);
        g_currentNice = g_normalNice;
    }
}

void start_at_normal_priority(const std::function<void()> &start) {
    if (!g_known || g_currentNice == g_normalNice) {
        start();
        return;
    }
    const id_t self = static_cast<id_t>(gettid());
    setpriority(PRIO_PROCESS, self, g_normalNice);
    start();
    setpriority(PRIO_PROCESS, self, g_currentNice); // permitted: it was granted before
}
