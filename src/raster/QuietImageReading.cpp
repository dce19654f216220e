#include "QuietImageReading.h"

namespace zembrix {

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

} // namespace zembrix
