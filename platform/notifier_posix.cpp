// Host builds have no message boxes: messages go to standard error.
#include <cstdio>

#include "platform/notifier.h"

namespace platform {
namespace {
class StderrNotifier : public Notifier {
public:
    int Show(const Message& m) override {
        std::fprintf(stderr, "[message] %s%s%s\n", m.caption.c_str(), m.caption.empty() ? "" : ": ",
                     m.text.c_str());
        return 1;
    }
};
}  // namespace

Notifier& DefaultNotifier() {
    static StderrNotifier notifier;
    return notifier;
}

}  // namespace platform
