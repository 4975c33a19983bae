#pragma once

#include "platform/archiver.h"

#include <QString>
#include <QtGlobal>

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
    /// there ends the work with Archiver::Result::Stopped.
    virtual int run(quintptr owner, const QString& archiveName, const ExtractionWork& work) = 0;
};

/// The feedback in force: the one a test installed, else the progress window's.
ExtractionFeedback& extractionFeedback();
/// Installs a feedback for tests; nullptr puts the program's own back.
void setExtractionFeedback(ExtractionFeedback* feedback);

} // namespace folivo
