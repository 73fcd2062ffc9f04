#include "linkcore/diagnostics.h"

namespace linkcore {

Counters& GetCounters() {
    static Counters counters;
    return counters;
}

}  // namespace linkcore
