#include "platform/foundation/PausePoints.h"

namespace zvt::pause {

std::atomic<Handler> handler{nullptr};

}  // namespace zvt::pause
