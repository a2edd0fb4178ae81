// The portable build has no windows: a close request goes nowhere unless a
// hook takes it.
#include "common/app_context.h"

namespace app_context {

bool DefaultCloseRequest(std::uintptr_t) {
    return false;
}

}  // namespace app_context
