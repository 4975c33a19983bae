#pragma once

namespace folivo {

class ExtractionFeedback;

/// Installs a feedback in place of the progress window's; nullptr puts the program's own back.
void setExtractionFeedback(ExtractionFeedback* feedback);

} // namespace folivo
