#include "winservice/service_state.h"

namespace zaq {

ServiceHostState hostState;

}  // namespace zaq
