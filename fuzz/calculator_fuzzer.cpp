// The calculator-function compiler and interpreter on hostile programs. Input: the input count
// (uint8 % 8 + 1), the output count (uint8 % 8 + 1), then the program text; every compiled
// program is run on a few inputs.

#include "FuzzInput.h"

#include "pdf/PostScriptCalculator.h"

using namespace zembrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const int inputs = input.u8() % 8 + 1;
    const int outputs = input.u8() % 8 + 1;
    const std::optional<PostScriptCalculator> program = PostScriptCalculator::compile(input.rest());
    if (!program)
        return 0;
    for (double value : {0.0, 0.5, 1.0, -3.0}) {
        double in[8], out[8];
        for (double &v : in)
            v = value;
        int executed = 0;
        program->run(in, inputs, out, outputs, &executed);
    }
    return 0;
}
