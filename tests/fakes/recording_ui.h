#pragma once

#include "platform/ui_services.h"
#include "platform/ui_services_testing.h"

#include <QString>

#include <functional>
#include <vector>

namespace folivo::test {

struct RecordedMessage {
    QString prompt;
    int style = 0;
    QString title;
};

/// Thrown where the program would have ended; tests catch it to see the status.
struct ProgramEnded {
    int status;
};

/// Message-box service for tests: records every message and returns at once. Installs
/// itself for its lifetime. onMessage is a scripted step that runs while a message is "open".
class RecordingUi : public UiServices {
public:
    RecordingUi() { setUi(this); }
    ~RecordingUi() override { setUi(nullptr); }
    RecordingUi(const RecordingUi&) = delete;
    RecordingUi& operator=(const RecordingUi&) = delete;

    void messageBox(const QString& prompt, int style, const QString& title) override
    {
        messages.push_back({prompt, style, title});
        if (onMessage)
            onMessage(messages.back());
    }
    void doEvents() override { ++doEventsCount; }
    [[noreturn]] void endProgram(int status) override { throw ProgramEnded{status}; }

    std::vector<RecordedMessage> messages;
    int doEventsCount = 0;
    std::function<void(const RecordedMessage&)> onMessage;
};

} // namespace folivo::test
