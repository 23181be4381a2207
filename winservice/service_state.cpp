#include "winservice/service_state.h"

namespace zaq {

ServiceHostState hostState;
ServiceHostSync hostSync;

}  // namespace zaq
