#include "RecordingController.h"

namespace imagestest {

bool RecordingController::undo()
{
    if (undoSteps.empty())
        return false;
    std::function<void()> step = std::move(undoSteps.back());
    undoSteps.pop_back();
    step();
    return true;
}

} // namespace imagestest
