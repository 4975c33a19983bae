#pragma once

#include "open/extraction_feedback.h"

#include <chrono>

namespace folivo {

/// The program's extraction feedback. The work runs on a thread of its own while the
/// user-interface thread keeps the windows painting and swallows the user's input to every
/// window but the progress window, so that no other command can start meanwhile. When the
/// work takes longer than the delay, a progress window is shown over the owner window; its
/// 中止 makes the work stop as a failed extraction. Once the book's first page is out and
/// opened early, the user's input goes through and a strip at the window's corner takes the
/// progress window's place. With no window behind the owner handle
/// (or off the user-interface thread) the work runs in place, with no window and no stop.
class ProgressWindowFeedback final : public ExtractionFeedback {
public:
    static constexpr std::chrono::milliseconds kDefaultDelay{500};

    explicit ProgressWindowFeedback(std::chrono::milliseconds delay = kDefaultDelay);

    /// Runs the event loop until the work has ended; may show the progress window.
    int run(quintptr owner, const QString& archiveName, const ExtractionWork& work,
            std::chrono::steady_clock::time_point started,
            const std::function<void()>& openEarly) override;

    void endEarlyReading() override;

private:
    std::chrono::milliseconds m_delay;
};

} // namespace folivo
