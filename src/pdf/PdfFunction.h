#pragma once

#include "PdfObject.h"

#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace zembrix {

// A PDF function of m inputs and n outputs: sampled (type 0), exponential
// (type 2), stitching (type 3) or a PostScript calculator program (type 4).
// Parsed once from its dictionary or stream; evaluated many times from any
// thread. Every size is checked while parsing, so a function that parses
// evaluates in bounded time and memory: sample tables are capped and must be
// as long as their /Size says, stitching nests at most kMaxNesting levels
// and a document's reference cycle ends there, calculator programs are
// bounded in length, stack and operators run.
class PdfFunction
{
public:
    static constexpr int kMaxNesting = 8;
    static constexpr int kMaxInputs = 32;
    static constexpr int kMaxOutputs = 32;
    static constexpr qint64 kMaxSampleValues = qint64(1) << 22;

    // None when the object is no function this evaluator accepts.
    // `inputs` is the input count the caller will give (used when a
    // calculator program has no /Domain).
    static std::optional<PdfFunction> parse(const PdfObject &object, int inputs = 1, int outputs = 0);

    int inputCount() const;
    int outputCount() const;

    // Evaluates at in[0 .. inputCount()-1] into out[0 .. outputCount()-1];
    // false when the evaluation fails (a calculator error, a bound passed).
    // `budget`, when given, is lowered by the work done and makes the
    // evaluation fail once it is used up.
    bool evaluate(const double *in, double *out, qint64 *budget = nullptr) const;

    struct Node;

private:
    std::shared_ptr<const Node> m_root;
};

} // namespace zembrix
