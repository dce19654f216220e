#include "QuietImageReading.h"

namespace {

thread_local int t_depth = 0;

} // namespace

QuietImageReading::QuietImageReading()
{
    ++t_depth;
}

QuietImageReading::~QuietImageReading()
{
    --t_depth;
}

bool QuietImageReading::active()
{
    return t_depth > 0;
}
