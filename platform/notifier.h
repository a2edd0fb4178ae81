// The seam behind every modal message the programs show.
//
// Programs show message boxes (MessageBoxW); tests and headless runs install
// a recording notifier instead, so nothing ever waits on a box nobody sees.
// Texts are UTF-8 here so that the portable core can report through it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

enum class MessageIcon { None, Information, Warning, Error, Question };

struct Message {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8; empty: the program's name
    MessageIcon icon = MessageIcon::None;
    std::uintptr_t owner = 0;  // HWND of the owner window, 0 for none
};

class Notifier {
public:
    virtual ~Notifier() = default;
    // Returns the button chosen (IDOK = 1 for the one-button boxes used here).
    virtual int Show(const Message& message) = 0;
};

// Keeps every message; thread-safe.
class RecordingNotifier : public Notifier {
public:
    int Show(const Message& message) override;
    std::vector<Message> Messages() const;
    void Clear();

private:
    mutable std::mutex m_lock;
    std::vector<Message> m_messages;
};

// The process-wide notifier. Until one is installed, messages go to the
// platform default (message boxes on Windows, standard error elsewhere).
Notifier& CurrentNotifier();
// Installs `notifier` (not owned; nullptr restores the default) and returns the previous one.
Notifier* SetNotifier(Notifier* notifier);

int ShowMessage(const std::string& text, const std::string& caption = {},
                MessageIcon icon = MessageIcon::None, std::uintptr_t owner = 0);

// Shows the message in a box of its own on a thread of its own and returns at
// once: for reports from threads that must not stop (a driver callback, a
// data thread) or a window that must keep running. The box has no owner.
void ShowMessageDetached(const std::string& text, const std::string& caption = {},
                         MessageIcon icon = MessageIcon::None);

// RAII installation for tests.
class ScopedNotifier {
public:
    explicit ScopedNotifier(Notifier& n) : m_previous(SetNotifier(&n)) {}
    ~ScopedNotifier() { SetNotifier(m_previous); }
    ScopedNotifier(const ScopedNotifier&) = delete;
    ScopedNotifier& operator=(const ScopedNotifier&) = delete;

private:
    Notifier* m_previous;
};

}  // namespace platform
