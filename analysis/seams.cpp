// The engine's two platform seams, with defaults that need no window system.
#include "analysis/analysis.h"
#include "analysis/seams.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

static void warn_on_stderr(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

static int64_t standard_time() { return static_cast<int64_t>(std::time(nullptr)); }

static WarningSeam warning_seam = warn_on_stderr;
static ClockSeam clock_seam = standard_time;

void set_warning_seam(WarningSeam show) { warning_seam = show ? show : warn_on_stderr; }
void set_clock_seam(ClockSeam now) { clock_seam = now ? now : standard_time; }

void warn_and_exit(const char* text)
{
    warning_seam("uh oh...", text);
    std::exit(1);
}

int64_t calendar_seconds() { return clock_seam(); }
