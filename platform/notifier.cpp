#include "platform/notifier.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace platform {

Notifier& DefaultNotifier();  // notifier_win.cpp or notifier_posix.cpp

namespace {
std::atomic<Notifier*> g_notifier{nullptr};
}

int RecordingNotifier::Show(const Message& message) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_messages.push_back(message);
    return 1;
}

std::vector<Message> RecordingNotifier::Messages() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_messages;
}

void RecordingNotifier::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_messages.clear();
}

Notifier& CurrentNotifier() {
    Notifier* n = g_notifier.load();
    return n ? *n : DefaultNotifier();
}

Notifier* SetNotifier(Notifier* notifier) {
    return g_notifier.exchange(notifier);
}

int ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                std::uintptr_t owner) {
    return CurrentNotifier().Show(Message{text, caption, icon, owner});
}

void ShowMessageDetached(const std::string& text, const std::string& caption, MessageIcon icon) {
    Message message{text, caption, icon, 0};
    try {
        std::thread([message] { CurrentNotifier().Show(message); }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the report is lost, the caller goes on.
    }
}

}  // namespace platform
