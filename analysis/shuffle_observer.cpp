// The optional observer that watches the randomization test measure each shuffle.
#include "analysis/analysis.h"
#include "analysis/shuffle_observer.h"

static ShuffleObserver shuffle_observer = nullptr;
static void* shuffle_observer_context = nullptr;

void set_shuffle_observer(ShuffleObserver observe, void* context)
{
    shuffle_observer = observe;
    shuffle_observer_context = observe ? context : nullptr;
}

void report_shuffle_distance(double distance)
{
    if (shuffle_observer != nullptr) shuffle_observer(shuffle_observer_context, distance);
}
