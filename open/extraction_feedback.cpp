#include "open/extraction_feedback.h"

#include "open/extraction_feedback_testing.h"
#include "open/progress_window_feedback.h"

namespace folivo {
namespace {

ExtractionFeedback* g_installed = nullptr;

} // namespace

ExtractionFeedback& extractionFeedback()
{
    static ProgressWindowFeedback programFeedback;
    return g_installed ? *g_installed : programFeedback;
}

void setExtractionFeedback(ExtractionFeedback* feedback)
{
    g_installed = feedback;
}

} // namespace folivo
