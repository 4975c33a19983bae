#pragma once

#include "archive/archiver.h"

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>

namespace folivo {

/// Called by an extraction's work, from its own thread, once the page a reader will see first
/// is out, written whole and checked: from then on the book may be read while the rest comes.
using FirstPageOut = std::function<void()>;

/// An extraction to run: calls the archiver with the hook it is given, tells `firstPageOut`
/// (when set) of the first page, and returns its result.
using ExtractionWork =
    std::function<int(const Archiver::ProgressHook& hook, const FirstPageOut& firstPageOut)>;

/// How an extraction is run while the user waits for it. The program's feedback runs it off
/// the user-interface thread, keeps the windows painting and, when it takes long, shows a
/// progress window over the owner window; core tests run it in place.
class ExtractionFeedback {
public:
    virtual ~ExtractionFeedback() = default;

    /// Runs the work and returns its result. The event loop may run meanwhile (never for
    /// the user's input to other windows), and a progress window may be shown; stopping
    /// there ends the work with Archiver::Result::Stopped. `started` is when the unpacking
    /// began, earlier than now for one started ahead: the wait for the window counts from it.
    /// Closing the owner window meanwhile stops the work and, once it has ended, closes the
    /// owner window as asked (for the main window, that ends the program).
    /// `openEarly`, when set, opens the book on the user-interface thread once the work
    /// tells of its first page; a feedback that can let the reader read meanwhile runs it then,
    /// and from then on lets the user's input through, with a quiet progress indication and its
    /// 中止 instead of the progress window. One that cannot leaves it unrun.
    virtual int run(quintptr owner, const QString& archiveName, const ExtractionWork& work,
                    std::chrono::steady_clock::time_point started,
                    const std::function<void()>& openEarly) = 0;

    /// Ends, as 中止 would, an extraction whose book is already being read, and returns once
    /// its work has ended; nothing when none is. For what opens something else meanwhile.
    virtual void endEarlyReading() {}
};

/// The feedback in force: the one a test installed, else the progress window's.
ExtractionFeedback& extractionFeedback();

} // namespace folivo
