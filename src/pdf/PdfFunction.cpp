#include "PdfFunction.h"

#include "PostScriptCalculator.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace zembrix {

struct PdfFunction::Node {
    virtual ~Node() = default;
    int inputs = 0;
    int outputs = 0;
    std::vector<double> domain; // 2 * inputs
    std::vector<double> range;  // 2 * outputs, or empty: outputs not clipped

    // Evaluates on inputs already clipped to the domain.
    virtual bool compute(const double *in, double *out, qint64 *budget) const = 0;

    bool evaluate(const double *in, double *out, qint64 *budget) const
    {
        double clipped[kMaxInputs];
        for (int i = 0; i < inputs; ++i) {
            const double v = std::isfinite(in[i]) ? in[i] : domain[size_t(2 * i)];
            clipped[i] = std::clamp(v, domain[size_t(2 * i)], domain[size_t(2 * i + 1)]);
        }
        if (!compute(clipped, out, budget))
            return false;
        for (int j = 0; j < outputs; ++j) {
            if (!std::isfinite(out[j]))
                return false;
            if (!range.empty())
                out[j] = std::clamp(out[j], range[size_t(2 * j)], range[size_t(2 * j + 1)]);
        }
        return true;
    }
};

namespace {

using Node = PdfFunction::Node;

bool spend(qint64 *budget, qint64 work)
{
    if (!budget)
        return true;
    *budget -= work;
    return *budget >= 0;
}

// The numbers of an array entry: false when missing, longer than maxCount,
// or holding anything but finite numbers.
bool numbers(const PdfObject &dict, const char *key, std::vector<double> *out, int maxCount)
{
    PdfObject array;
    if (!dict.getArray(key, &array))
        return false;
    const int n = array.arrayCount();
    if (n > maxCount)
        return false;
    out->clear();
    for (int i = 0; i < n; ++i) {
        double v = 0;
        if (!array.getNumberAt(i, &v) || !std::isfinite(v))
            return false;
        out->push_back(v);
    }
    return true;
}

// Pairs [min max] with min <= max, and an even count.
bool validPairs(const std::vector<double> &pairs)
{
    if (pairs.empty() || pairs.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < pairs.size(); i += 2)
        if (pairs[i] > pairs[i + 1])
            return false;
    return true;
}

double interpolate(double x, double xmin, double xmax, double ymin, double ymax)
{
    return xmax == xmin ? ymin : ymin + (x - xmin) * (ymax - ymin) / (xmax - xmin);
}

struct SampledNode final : Node {
    std::vector<int> size;
    std::vector<double> encode, decode;
    std::vector<float> samples; // normalised to 0..1, first input varying fastest

    bool compute(const double *in, double *out, qint64 *budget) const override
    {
        // Inputs past eight take the nearest sample: 2^m corners would be too many.
        const bool linear = inputs <= 8;
        if (!spend(budget, linear ? (qint64(1) << inputs) * outputs : outputs))
            return false;
        qint64 base[PdfFunction::kMaxInputs], step[PdfFunction::kMaxInputs];
        double fraction[PdfFunction::kMaxInputs];
        qint64 stride = outputs;
        qint64 offset = 0;
        for (int i = 0; i < inputs; ++i) {
            const int last = size[size_t(i)] - 1;
            double e = interpolate(in[i], domain[size_t(2 * i)], domain[size_t(2 * i + 1)], encode[size_t(2 * i)],
                                   encode[size_t(2 * i + 1)]);
            e = std::clamp(e, 0.0, double(last));
            if (!linear)
                e = std::round(e);
            const int i0 = std::min(int(std::floor(e)), last);
            fraction[i] = e - i0;
            base[i] = i0;
            step[i] = i0 < last ? stride : 0;
            offset += base[i] * stride;
            stride *= size[size_t(i)];
        }
        for (int j = 0; j < outputs; ++j) {
            double value = 0;
            if (!linear) {
                value = samples[size_t(offset + j)];
            } else {
                for (qint64 corner = 0; corner < (qint64(1) << inputs); ++corner) {
                    double weight = 1;
                    qint64 at = offset + j;
                    for (int i = 0; i < inputs; ++i) {
                        const bool upper = (corner >> i) & 1;
                        weight *= upper ? fraction[i] : 1 - fraction[i];
                        if (upper)
                            at += step[i];
                    }
                    if (weight != 0)
                        value += weight * samples[size_t(at)];
                }
            }
            out[j] = decode[size_t(2 * j)] + value * (decode[size_t(2 * j + 1)] - decode[size_t(2 * j)]);
        }
        return true;
    }
};

struct ExponentialNode final : Node {
    std::vector<double> c0, c1;
    double exponent = 1;

    bool compute(const double *in, double *out, qint64 *budget) const override
    {
        const double x = in[0];
        if (!spend(budget, outputs) || (x < 0 && exponent != std::floor(exponent)) || (x == 0 && exponent < 0))
            return false;
        const double p = std::pow(x, exponent);
        for (int j = 0; j < outputs; ++j)
            out[j] = c0[size_t(j)] + p * (c1[size_t(j)] - c0[size_t(j)]);
        return true;
    }
};

struct StitchingNode final : Node {
    std::vector<std::shared_ptr<const Node>> functions;
    std::vector<double> bounds, encode;

    bool compute(const double *in, double *out, qint64 *budget) const override
    {
        if (!spend(budget, 1))
            return false;
        const double x = in[0];
        const size_t k = functions.size();
        size_t i = 0;
        while (i < k - 1 && x >= bounds[i])
            ++i;
        const double lo = i == 0 ? domain[0] : bounds[i - 1];
        const double hi = i == k - 1 ? domain[1] : bounds[i];
        const double t = interpolate(x, lo, hi, encode[2 * i], encode[2 * i + 1]);
        return functions[i]->evaluate(&t, out, budget);
    }
};

struct CalculatorNode final : Node {
    PostScriptCalculator program;

    explicit CalculatorNode(PostScriptCalculator p)
        : program(std::move(p))
    {
    }

    bool compute(const double *in, double *out, qint64 *budget) const override
    {
        int executed = 0;
        return program.run(in, inputs, out, outputs, &executed) && spend(budget, executed);
    }
};

class Parser
{
public:
    std::shared_ptr<const Node> parse(const PdfObject &object, int inputsHint, int outputsHint, int depth)
    {
        // Every function parsed counts: a stitching function that lists itself
        // many times ends here as surely as one nested too deep.
        if (depth > PdfFunction::kMaxNesting || ++m_parsed > kMaxFunctions)
            return nullptr;
        const int t = object.type();
        if (t != PdfTypeDictionary && t != PdfTypeStream)
            return nullptr;
        std::int32_t type = -1;
        if (!object.getIntegerEntry("FunctionType", &type))
            return nullptr;
        std::vector<double> domain, range;
        const bool hasDomain = numbers(object, "Domain", &domain, 2 * PdfFunction::kMaxInputs);
        const bool hasRange = object.get("Range").isValid();
        if (hasRange && (!numbers(object, "Range", &range, 2 * PdfFunction::kMaxOutputs) || !validPairs(range)))
            return nullptr;
        if (hasDomain && !validPairs(domain))
            return nullptr;
        std::shared_ptr<Node> node;
        switch (type) {
        case 0: node = sampled(object, domain, range); break;
        case 2: node = exponential(object, domain); break;
        case 3: node = stitching(object, domain, depth); break;
        case 4:
            node = calculator(object, hasDomain ? int(domain.size() / 2) : inputsHint,
                              hasRange ? int(range.size() / 2) : outputsHint);
            if (node && !hasDomain) {
                domain.assign(size_t(2 * node->inputs), 0.0);
                fillUnitPairs(domain);
            }
            break;
        default: return nullptr;
        }
        if (!node || domain.empty() || int(domain.size()) != 2 * node->inputs || node->inputs < 1
            || node->inputs > PdfFunction::kMaxInputs || node->outputs < 1 || node->outputs > PdfFunction::kMaxOutputs
            || (!range.empty() && int(range.size()) != 2 * node->outputs))
            return nullptr;
        node->domain = std::move(domain);
        node->range = std::move(range);
        return node;
    }

private:
    static constexpr int kMaxFunctions = 256;

    static void fillUnitPairs(std::vector<double> &pairs)
    {
        for (size_t i = 1; i < pairs.size(); i += 2)
            pairs[i] = 1.0;
    }

    static std::shared_ptr<Node> sampled(const PdfObject &object, const std::vector<double> &domain,
                                         const std::vector<double> &range)
    {
        if (object.type() != PdfTypeStream || domain.empty() || range.empty())
            return nullptr;
        auto node = std::make_shared<SampledNode>();
        node->inputs = int(domain.size() / 2);
        node->outputs = int(range.size() / 2);
        std::vector<double> size;
        std::int32_t bps = 0;
        if (!numbers(object, "Size", &size, PdfFunction::kMaxInputs) || int(size.size()) != node->inputs
            || !object.getIntegerEntry("BitsPerSample", &bps))
            return nullptr;
        if (bps != 1 && bps != 2 && bps != 4 && bps != 8 && bps != 12 && bps != 16 && bps != 24 && bps != 32)
            return nullptr;
        // Checked sizes: each factor is capped before it is multiplied in.
        qint64 values = node->outputs;
        for (double s : size) {
            if (s < 1 || s != std::floor(s) || s > double(PdfFunction::kMaxSampleValues))
                return nullptr;
            values *= qint64(s);
            if (values > PdfFunction::kMaxSampleValues)
                return nullptr;
            node->size.push_back(int(s));
        }
        if (!numbers(object, "Encode", &node->encode, 2 * PdfFunction::kMaxInputs)) {
            node->encode.clear();
            for (int s : node->size)
                node->encode.insert(node->encode.end(), {0.0, double(s - 1)});
        }
        if (!numbers(object, "Decode", &node->decode, 2 * PdfFunction::kMaxOutputs))
            node->decode = range;
        if (int(node->encode.size()) != 2 * node->inputs || int(node->decode.size()) != 2 * node->outputs)
            return nullptr;
        const qint64 bytes = (values * bps + 7) / 8;
        const std::optional<PdfStreamData> data = object.copyStreamData(bytes + (qint64(1) << 20));
        if (!data || data->format != PdfStreamFormat::Raw || data->bytes.size() < bytes)
            return nullptr; // a table shorter than its /Size says
        const auto *p = reinterpret_cast<const uchar *>(data->bytes.constData());
        const double maxValue = std::ldexp(1.0, bps) - 1;
        node->samples.resize(size_t(values));
        qint64 bit = 0;
        for (qint64 i = 0; i < values; ++i, bit += bps) {
            quint64 v = 0;
            for (int b = 0; b < bps; ++b) {
                const qint64 at = bit + b;
                v = (v << 1) | ((p[at >> 3] >> (7 - (at & 7))) & 1);
            }
            node->samples[size_t(i)] = float(double(v) / maxValue);
        }
        return node;
    }

    static std::shared_ptr<Node> exponential(const PdfObject &object, const std::vector<double> &domain)
    {
        auto node = std::make_shared<ExponentialNode>();
        double n = 0;
        if (domain.size() != 2 || !object.get("N").getNumber(&n) || !std::isfinite(n))
            return nullptr;
        node->exponent = n;
        if (!numbers(object, "C0", &node->c0, PdfFunction::kMaxOutputs))
            node->c0 = {0.0};
        if (!numbers(object, "C1", &node->c1, PdfFunction::kMaxOutputs))
            node->c1 = {1.0};
        if (node->c0.size() != node->c1.size())
            return nullptr;
        node->inputs = 1;
        node->outputs = int(node->c0.size());
        return node;
    }

    std::shared_ptr<Node> stitching(const PdfObject &object, const std::vector<double> &domain, int depth)
    {
        PdfObject list;
        if (domain.size() != 2 || !object.getArray("Functions", &list))
            return nullptr;
        const int k = list.arrayCount();
        auto node = std::make_shared<StitchingNode>();
        if (k < 1 || k > kMaxFunctions || !numbers(object, "Bounds", &node->bounds, k - 1)
            || int(node->bounds.size()) != k - 1 || !numbers(object, "Encode", &node->encode, 2 * k)
            || int(node->encode.size()) != 2 * k)
            return nullptr;
        double previous = domain[0];
        for (double b : node->bounds) {
            if (b < previous || b > domain[1])
                return nullptr;
            previous = b;
        }
        for (int i = 0; i < k; ++i) {
            std::shared_ptr<const Node> f = parse(list.at(i), 1, 0, depth + 1);
            if (!f || f->inputs != 1 || (i > 0 && f->outputs != node->functions[0]->outputs))
                return nullptr;
            node->functions.push_back(std::move(f));
        }
        node->inputs = 1;
        node->outputs = node->functions[0]->outputs;
        return node;
    }

    static std::shared_ptr<Node> calculator(const PdfObject &object, int inputs, int outputs)
    {
        if (object.type() != PdfTypeStream || inputs < 1 || outputs < 1)
            return nullptr;
        const std::optional<PdfStreamData> text = object.copyStreamData(PostScriptCalculator::kMaxProgramBytes);
        if (!text || text->format != PdfStreamFormat::Raw)
            return nullptr;
        std::optional<PostScriptCalculator> program = PostScriptCalculator::compile(QByteArrayView(text->bytes));
        if (!program)
            return nullptr;
        auto node = std::make_shared<CalculatorNode>(std::move(*program));
        node->inputs = inputs;
        node->outputs = outputs;
        return node;
    }

    int m_parsed = 0;
};

} // namespace

std::optional<PdfFunction> PdfFunction::parse(const PdfObject &object, int inputs, int outputs)
{
    try {
        Parser parser;
        std::shared_ptr<const Node> root = parser.parse(object, inputs, outputs, 0);
        if (!root)
            return std::nullopt;
        PdfFunction function;
        function.m_root = std::move(root);
        return function;
    } catch (const std::exception &) {
        return std::nullopt; // an allocation refused by the system
    }
}

int PdfFunction::inputCount() const
{
    return m_root ? m_root->inputs : 0;
}

int PdfFunction::outputCount() const
{
    return m_root ? m_root->outputs : 0;
}

bool PdfFunction::evaluate(const double *in, double *out, qint64 *budget) const
{
    return m_root && m_root->evaluate(in, out, budget);
}

} // namespace zembrix
