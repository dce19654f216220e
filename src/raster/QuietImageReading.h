#pragma once

namespace zembrix {

// Qt's image readers report damaged or unsupported data through Qt's message
// log ("Unsupported JPEG data precision 12"), without a word of which file or
// object it was; the code that reads with them says the failure itself, as
// the reason the image was not decoded. While one of these lives on a thread,
// the headless modes' message handler drops the messages of that thread.
class QuietImageReading
{
public:
    QuietImageReading();
    ~QuietImageReading();
    QuietImageReading(const QuietImageReading &) = delete;
    QuietImageReading &operator=(const QuietImageReading &) = delete;

    // True on a thread inside such a scope.
    static bool active();
};

} // namespace zembrix
