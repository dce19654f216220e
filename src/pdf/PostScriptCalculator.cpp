#include "PostScriptCalculator.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace zembrix {

enum class PostScriptCalculator::Op : std::uint8_t {
    PushInt,
    PushReal,
    JumpIfFalse,
    Jump,
    Abs,
    Add,
    Atan,
    Ceiling,
    Cos,
    Cvi,
    Cvr,
    Div,
    Exp,
    Floor,
    Idiv,
    Ln,
    Log,
    Mod,
    Mul,
    Neg,
    Round,
    Sin,
    Sqrt,
    Sub,
    Truncate,
    And,
    Bitshift,
    Eq,
    False,
    Ge,
    Gt,
    Le,
    Lt,
    Ne,
    Not,
    Or,
    True,
    Xor,
    Copy,
    Dup,
    Exch,
    Index,
    Pop,
    Roll,
    // Markers the compiler replaces by jumps; never executed.
    If,
    IfElse,
};

namespace {

using Op = PostScriptCalculator::Op;
using Step = PostScriptCalculator::Step;

struct NamedOp {
    const char *name;
    Op op;
};

constexpr NamedOp kOperators[] = {
    {"abs", Op::Abs},
    {"add", Op::Add},
    {"atan", Op::Atan},
    {"ceiling", Op::Ceiling},
    {"cos", Op::Cos},
    {"cvi", Op::Cvi},
    {"cvr", Op::Cvr},
    {"div", Op::Div},
    {"exp", Op::Exp},
    {"floor", Op::Floor},
    {"idiv", Op::Idiv},
    {"ln", Op::Ln},
    {"log", Op::Log},
    {"mod", Op::Mod},
    {"mul", Op::Mul},
    {"neg", Op::Neg},
    {"round", Op::Round},
    {"sin", Op::Sin},
    {"sqrt", Op::Sqrt},
    {"sub", Op::Sub},
    {"truncate", Op::Truncate},
    {"and", Op::And},
    {"bitshift", Op::Bitshift},
    {"eq", Op::Eq},
    {"false", Op::False},
    {"ge", Op::Ge},
    {"gt", Op::Gt},
    {"le", Op::Le},
    {"lt", Op::Lt},
    {"ne", Op::Ne},
    {"not", Op::Not},
    {"or", Op::Or},
    {"true", Op::True},
    {"xor", Op::Xor},
    {"copy", Op::Copy},
    {"dup", Op::Dup},
    {"exch", Op::Exch},
    {"index", Op::Index},
    {"pop", Op::Pop},
    {"roll", Op::Roll},
    {"if", Op::If},
    {"ifelse", Op::IfElse},
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

bool isDelimiter(char c)
{
    return c == '{' || c == '}' || c == '%' || isBlank(c);
}

class Compiler
{
public:
    explicit Compiler(QByteArrayView text)
        : m_text(text)
    {
    }

    std::optional<std::vector<Step>> program()
    {
        if (next() != "{")
            return std::nullopt;
        std::vector<Step> steps;
        if (!block(steps, 1))
            return std::nullopt;
        if (!next().empty()) // nothing may follow the program but blanks
            return std::nullopt;
        return steps;
    }

private:
    // The next token: "{", "}", a word, or empty at the end.
    std::string next()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '%') {
                while (m_pos < m_text.size() && m_text[m_pos] != '\n' && m_text[m_pos] != '\r')
                    ++m_pos;
            } else if (isBlank(c)) {
                ++m_pos;
            } else {
                break;
            }
        }
        if (m_pos >= m_text.size())
            return {};
        const char c = m_text[m_pos];
        if (c == '{' || c == '}') {
            ++m_pos;
            return std::string(1, c);
        }
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && !isDelimiter(m_text[m_pos]))
            ++m_pos;
        return std::string(m_text.data() + start, size_t(m_pos - start));
    }

    static bool number(const std::string &word, Step *step)
    {
        const char c = word[0];
        if (!(c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9')))
            return false;
        char *end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (end != word.c_str() + word.size() || !std::isfinite(v))
            return false;
        const bool real = word.find_first_of(".eE") != std::string::npos || std::fabs(v) > 2147483647.0;
        step->op = real ? Op::PushReal : Op::PushInt;
        step->value = v;
        return true;
    }

    // Steps up to the closing brace of the block opened before.
    bool block(std::vector<Step> &steps, int depth)
    {
        if (depth > PostScriptCalculator::kMaxNesting)
            return false;
        std::vector<std::vector<Step>> procedures; // those waiting for their if / ifelse
        for (;;) {
            const std::string word = next();
            if (word.empty())
                return false;
            if (word == "}")
                return procedures.empty();
            if (word == "{") {
                if (procedures.size() == 2)
                    return false;
                std::vector<Step> inner;
                if (!block(inner, depth + 1))
                    return false;
                procedures.push_back(std::move(inner));
                continue;
            }
            Step step{Op::Pop};
            if (!number(word, &step)) {
                const NamedOp *found = nullptr;
                for (const NamedOp &op : kOperators)
                    if (word == op.name)
                        found = &op;
                if (!found)
                    return false;
                step.op = found->op;
            }
            if (step.op == Op::If) {
                if (procedures.size() != 1)
                    return false;
                steps.push_back({Op::JumpIfFalse, std::int32_t(procedures[0].size())});
                steps.insert(steps.end(), procedures[0].begin(), procedures[0].end());
                procedures.clear();
            } else if (step.op == Op::IfElse) {
                if (procedures.size() != 2)
                    return false;
                steps.push_back({Op::JumpIfFalse, std::int32_t(procedures[0].size() + 1)});
                steps.insert(steps.end(), procedures[0].begin(), procedures[0].end());
                steps.push_back({Op::Jump, std::int32_t(procedures[1].size())});
                steps.insert(steps.end(), procedures[1].begin(), procedures[1].end());
                procedures.clear();
            } else {
                if (!procedures.empty())
                    return false;
                steps.push_back(step);
            }
        }
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

enum class Kind : std::uint8_t { Int, Real, Bool };

struct Value {
    double v = 0;
    Kind kind = Kind::Real;
};

bool fitsInt(double v)
{
    return v >= -2147483648.0 && v <= 2147483647.0;
}

Value number(double v, bool integer)
{
    return {v, integer && fitsInt(v) ? Kind::Int : Kind::Real};
}

} // namespace

std::optional<PostScriptCalculator> PostScriptCalculator::compile(QByteArrayView program)
{
    if (program.size() > kMaxProgramBytes)
        return std::nullopt;
    std::optional<std::vector<Step>> steps = Compiler(program).program();
    if (!steps)
        return std::nullopt;
    PostScriptCalculator calculator;
    calculator.m_steps = std::move(*steps);
    return calculator;
}

bool PostScriptCalculator::run(const double *in, int inputs, double *out, int outputs, int *executed) const
{
    Value stack[kMaxStack];
    int top = 0; // entries on the stack
    if (inputs < 0 || inputs > kMaxStack || outputs < 0)
        return false;
    for (int i = 0; i < inputs; ++i)
        stack[top++] = {in[i], Kind::Real};
    int count = 0;
    const std::size_t n = m_steps.size();
    for (std::size_t pc = 0; pc < n; ++pc) {
        if (++count > kMaxOperators)
            return false;
        const Step &step = m_steps[pc];
        // Operand needs and room, checked once for the whole operator set.
        auto need = [&](int operands) { return top >= operands; };
        auto room = [&](int pushes) { return top + pushes <= kMaxStack; };
        Value *a = top >= 2 ? &stack[top - 2] : nullptr; // the second from the top
        Value *b = top >= 1 ? &stack[top - 1] : nullptr; // the top
        auto numeric1 = [&]() { return need(1) && b->kind != Kind::Bool; };
        auto numeric2 = [&]() { return need(2) && a->kind != Kind::Bool && b->kind != Kind::Bool; };
        auto ints2 = [&]() { return need(2) && a->kind == Kind::Int && b->kind == Kind::Int; };
        switch (step.op) {
        case Op::PushInt:
        case Op::PushReal:
            if (!room(1))
                return false;
            stack[top++] = {step.value, step.op == Op::PushInt ? Kind::Int : Kind::Real};
            break;
        case Op::True:
        case Op::False:
            if (!room(1))
                return false;
            stack[top++] = {step.op == Op::True ? 1.0 : 0.0, Kind::Bool};
            break;
        case Op::JumpIfFalse:
            if (!need(1) || b->kind != Kind::Bool)
                return false;
            --top;
            if (b->v == 0)
                pc += std::size_t(step.jump);
            break;
        case Op::Jump: pc += std::size_t(step.jump); break;
        case Op::Add:
        case Op::Sub:
        case Op::Mul: {
            if (!numeric2())
                return false;
            const double r = step.op == Op::Add ? a->v + b->v : (step.op == Op::Sub ? a->v - b->v : a->v * b->v);
            *a = number(r, a->kind == Kind::Int && b->kind == Kind::Int);
            --top;
            break;
        }
        case Op::Div:
            if (!numeric2() || b->v == 0)
                return false;
            *a = {a->v / b->v, Kind::Real};
            --top;
            break;
        case Op::Idiv:
        case Op::Mod:
            if (!ints2() || b->v == 0)
                return false;
            *a = number(step.op == Op::Idiv ? std::trunc(a->v / b->v) : std::fmod(a->v, b->v), true);
            --top;
            break;
        case Op::Atan: {
            if (!numeric2() || (a->v == 0 && b->v == 0))
                return false;
            double degrees = std::atan2(a->v, b->v) * 180.0 / M_PI;
            if (degrees < 0)
                degrees += 360.0;
            *a = {degrees, Kind::Real};
            --top;
            break;
        }
        case Op::Exp: {
            if (!numeric2())
                return false;
            const double r = std::pow(a->v, b->v);
            if (!std::isfinite(r))
                return false;
            *a = {r, Kind::Real};
            --top;
            break;
        }
        case Op::Abs:
        case Op::Neg:
            if (!numeric1())
                return false;
            *b = number(step.op == Op::Abs ? std::fabs(b->v) : -b->v, b->kind == Kind::Int);
            break;
        case Op::Ceiling:
        case Op::Floor:
        case Op::Round:
        case Op::Truncate: {
            if (!numeric1())
                return false;
            const double v = b->v;
            b->v = step.op == Op::Ceiling ? std::ceil(v)
                   : step.op == Op::Floor ? std::floor(v)
                   : step.op == Op::Round ? std::floor(v + 0.5)
                                          : std::trunc(v);
            break;
        }
        case Op::Cvi:
            if (!numeric1() || !fitsInt(std::trunc(b->v)))
                return false;
            *b = {std::trunc(b->v), Kind::Int};
            break;
        case Op::Cvr:
            if (!numeric1())
                return false;
            b->kind = Kind::Real;
            break;
        case Op::Sin:
        case Op::Cos: {
            if (!numeric1())
                return false;
            const double radians = b->v * M_PI / 180.0;
            *b = {step.op == Op::Sin ? std::sin(radians) : std::cos(radians), Kind::Real};
            break;
        }
        case Op::Sqrt:
        case Op::Ln:
        case Op::Log:
            if (!numeric1() || b->v < 0 || (step.op != Op::Sqrt && b->v == 0))
                return false;
            *b = {step.op == Op::Sqrt ? std::sqrt(b->v) : (step.op == Op::Ln ? std::log(b->v) : std::log10(b->v)),
                  Kind::Real};
            break;
        case Op::Eq:
        case Op::Ne: {
            if (!need(2) || ((a->kind == Kind::Bool) != (b->kind == Kind::Bool)))
                return false;
            const bool equal = a->v == b->v;
            *a = {(step.op == Op::Eq) == equal ? 1.0 : 0.0, Kind::Bool};
            --top;
            break;
        }
        case Op::Ge:
        case Op::Gt:
        case Op::Le:
        case Op::Lt: {
            if (!numeric2())
                return false;
            const bool r = step.op == Op::Ge   ? a->v >= b->v
                           : step.op == Op::Gt ? a->v > b->v
                           : step.op == Op::Le ? a->v <= b->v
                                               : a->v < b->v;
            *a = {r ? 1.0 : 0.0, Kind::Bool};
            --top;
            break;
        }
        case Op::And:
        case Op::Or:
        case Op::Xor: {
            if (!need(2) || a->kind != b->kind || a->kind == Kind::Real)
                return false;
            const auto x = std::int32_t(a->v), y = std::int32_t(b->v);
            const std::int32_t r = step.op == Op::And ? (x & y) : (step.op == Op::Or ? (x | y) : (x ^ y));
            a->v = double(r);
            --top;
            break;
        }
        case Op::Not:
            if (!need(1) || b->kind == Kind::Real)
                return false;
            b->v = b->kind == Kind::Bool ? (b->v == 0 ? 1.0 : 0.0) : double(~std::int32_t(b->v));
            break;
        case Op::Bitshift: {
            if (!ints2())
                return false;
            const auto x = std::uint32_t(std::int32_t(a->v));
            const auto shift = std::int32_t(b->v);
            std::uint32_t r = 0;
            if (shift > -32 && shift < 32)
                r = shift >= 0 ? x << shift : x >> -shift;
            *a = {double(std::int32_t(r)), Kind::Int};
            --top;
            break;
        }
        case Op::Dup:
            if (!need(1) || !room(1))
                return false;
            stack[top] = *b;
            ++top;
            break;
        case Op::Exch:
            if (!need(2))
                return false;
            std::swap(*a, *b);
            break;
        case Op::Pop:
            if (!need(1))
                return false;
            --top;
            break;
        case Op::Copy: {
            if (!need(1) || b->kind != Kind::Int || b->v < 0)
                return false;
            const int k = int(b->v);
            --top;
            if (k > top || !room(k))
                return false;
            std::memcpy(&stack[top], &stack[top - k], sizeof(Value) * size_t(k));
            top += k;
            break;
        }
        case Op::Index: {
            if (!need(1) || b->kind != Kind::Int || b->v < 0 || b->v >= top - 1)
                return false;
            *b = stack[top - 2 - int(b->v)];
            break;
        }
        case Op::Roll: {
            if (!ints2() || a->v < 0 || a->v > top - 2)
                return false;
            const int k = int(a->v);
            const double shiftValue = b->v;
            top -= 2;
            if (k > 0) {
                int j = int(std::fmod(shiftValue, double(k)));
                if (j < 0)
                    j += k;
                Value moved[kMaxStack];
                for (int i = 0; i < k; ++i)
                    moved[(i + j) % k] = stack[top - k + i];
                std::memcpy(&stack[top - k], moved, sizeof(Value) * size_t(k));
            }
            break;
        }
        case Op::If:
        case Op::IfElse: return false;
        }
    }
    if (executed)
        *executed = count;
    if (top < outputs)
        return false;
    for (int i = 0; i < outputs; ++i) {
        const Value &v = stack[top - outputs + i];
        if (v.kind == Kind::Bool)
            return false;
        out[i] = v.v;
    }
    return true;
}

} // namespace zembrix
