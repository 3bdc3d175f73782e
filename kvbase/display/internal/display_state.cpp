#include "kvbase/display/internal/display_state.h"

namespace kvbase::internal::display {
namespace {

// Zero everywhere but the two palette versions, from the start of the process (constant initialisation).
KDisplayState gDisplay = {{}, {0x300, 0, {}}, nullptr, {0x300, 0, {}}, nullptr, nullptr, {}, nullptr};

}  // namespace

KDisplayState& KDisplay() { return gDisplay; }

}  // namespace kvbase::internal::display
