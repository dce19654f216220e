#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zembrix {

// The program of a PostScript calculator function (type 4): the operator set
// of arithmetic, boolean, bitwise, comparison, stack and conditional
// operators, compiled to a flat list of steps where `if` and `ifelse` are
// jumps. Programs are bounded in length and nesting while compiled; a run is
// bounded in operand stack and operators executed, and any error (a type
// mismatch, a stack underflow, a division by zero) fails the run.
class PostScriptCalculator
{
public:
    static constexpr int kMaxStack = 100;
    static constexpr int kMaxOperators = 10000;
    static constexpr int kMaxNesting = 64;
    static constexpr qsizetype kMaxProgramBytes = 64 * 1024;

    static std::optional<PostScriptCalculator> compile(QByteArrayView program);

    // Pushes in[0..inputs-1], runs, and takes the top `outputs` entries (the
    // deepest first) as numbers into out. `executed` is the operator count.
    bool run(const double *in, int inputs, double *out, int outputs, int *executed) const;

    enum class Op : std::uint8_t;
    struct Step {
        Op op;
        std::int32_t jump = 0; // for jumps: the step to go to
        double value = 0;      // for pushed numbers
    };

private:
    std::vector<Step> m_steps;
};

} // namespace zembrix
