#pragma once

#include "archive/archiver.h"

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>

namespace folivo {

/// An extraction to run: calls the archiver with the hook it is given and returns its result.
using ExtractionWork = std::function<int(const Archiver::ProgressHook&)>;

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
    virtual int run(quintptr owner, const QString& archiveName, const ExtractionWork& work,
                    std::chrono::steady_clock::time_point started) = 0;
};

/// The feedback in force: the one a test installed, else the progress window's.
ExtractionFeedback& extractionFeedback();

} // namespace folivo
