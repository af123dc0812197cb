#include "Formula.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>
#include <veltrane/errors.h>

namespace veltrane::detail {

namespace {

enum class Op { Number, X, Pi, E, Add, Sub, Mul, Div, Pow, Neg, Call };
enum class Function { Exp, Log, Sqrt, Sin, Cos, Tan, Atan, Sinh, Cosh };

constexpr std::array<std::pair<std::string_view, Function>, 9> kFunctions{{
    {"exp", Function::Exp},
    {"log", Function::Log},
    {"sqrt", Function::Sqrt},
    {"sin", Function::Sin},
    {"cos", Function::Cos},
    {"tan", Function::Tan},
    {"atan", Function::Atan},
    {"sinh", Function::Sinh},
    {"cosh", Function::Cosh},
}};

// Deeper nesting than this is refused rather than risk the parser's stack.
constexpr int kDeepest = 200;

struct Instruction {
    Op op = Op::Number;
    Function function = Function::Exp;
    std::size_t number = 0; // index of the number, for Op::Number
    // For Op::Pow: the exponent does not depend on x, and if it is a whole number, which.
    bool constantExponent = false;
    bool wholeExponent = false;
    long whole = 0;
};

} // namespace

// The formula in postfix order, evaluated on a stack; the numbers as text and as doubles.
struct Formula::Program {
    std::string text;
    std::vector<Instruction> code;
    std::vector<std::string> numberTexts;
    std::vector<double> numbers;
};

namespace {

// Recursive descent over expr := term {(+|-) term}, term := unary {(*|/) unary},
// unary := (-|+) unary | power, power := primary [^ unary], primary := number | x | pi | e |
// name ( expr ) | ( expr ). Each rule appends its postfix code and returns whether the
// value it left depends on x, and the value when it is a whole number written as one.
class Parser {
public:
    Parser(std::string_view text, Formula::Program& program) : m_text(text), m_program(program) {}

    void parse() {
        skipBlanks();
        if (m_at == m_text.size()) {
            fail("the formula is empty");
        }
        expression(0);
        skipBlanks();
        if (m_at != m_text.size()) {
            fail(m_text[m_at] == ')'
                     ? "a ')' without its '('"
                     : "an operator is missing before '" + std::string(1, m_text[m_at]) + "'");
        }
    }

private:
    struct Value {
        bool dependsOnX = false;
        bool whole = false;
        long wholeValue = 0;
    };

    [[noreturn]] void fail(const std::string& why) const { failAt(m_at, why); }
    [[noreturn]] void failAt(std::size_t at, const std::string& why) const {
        throw InputError("column " + std::to_string(at + 1) + ": " + why);
    }

    void skipBlanks() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t')) {
            ++m_at;
        }
    }

    bool take(char c) {
        skipBlanks();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    void emit(Op op) { m_program.code.push_back({op}); }

    Value expression(int depth) {
        if (depth > kDeepest) {
            fail("the formula nests too deeply");
        }
        Value left = term(depth);
        for (;;) {
            if (take('+')) {
                left = combine(left, term(depth));
                emit(Op::Add);
            } else if (take('-')) {
                left = combine(left, term(depth));
                emit(Op::Sub);
            } else {
                return left;
            }
        }
    }

    Value term(int depth) {
        Value left = unary(depth);
        for (;;) {
            if (take('*')) {
                left = combine(left, unary(depth));
                emit(Op::Mul);
            } else if (take('/')) {
                left = combine(left, unary(depth));
                emit(Op::Div);
            } else {
                return left;
            }
        }
    }

    Value unary(int depth) {
        if (depth > kDeepest) {
            fail("the formula nests too deeply");
        }
        if (take('-')) {
            Value v = unary(depth + 1);
            emit(Op::Neg);
            v.wholeValue = -v.wholeValue;
            return v;
        }
        if (take('+')) {
            return unary(depth + 1);
        }
        return power(depth);
    }

    Value power(int depth) {
        const Value base = primary(depth);
        if (!take('^')) {
            return base;
        }
        const Value exponent = unary(depth + 1);
        Instruction pow{Op::Pow};
        pow.constantExponent = !exponent.dependsOnX;
        pow.wholeExponent = exponent.whole;
        pow.whole = exponent.wholeValue;
        m_program.code.push_back(pow);
        return {base.dependsOnX || exponent.dependsOnX, false, 0};
    }

    Value primary(int depth) {
        skipBlanks();
        if (m_at == m_text.size()) {
            fail("an operand is missing at the end");
        }
        const char c = m_text[m_at];
        if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.') {
            return number();
        }
        if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
            return name(depth);
        }
        if (c == '(') {
            const std::size_t open = m_at++;
            const Value inner = expression(depth + 1);
            if (!take(')')) {
                failAt(open, "this '(' is not closed");
            }
            return inner;
        }
        fail(c == ')' ? "an operand is missing before ')'"
                      : "'" + std::string(1, c) + "' cannot start an operand");
    }

    Value number() {
        const std::size_t start = m_at;
        std::size_t digits = 0;
        while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at]))) {
            ++m_at;
            ++digits;
        }
        bool point = false;
        if (m_at < m_text.size() && m_text[m_at] == '.') {
            point = true;
            ++m_at;
            while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at]))) {
                ++m_at;
                ++digits;
            }
        }
        if (digits == 0) {
            failAt(start, "'.' is not a number");
        }
        // An exponent only where a digit follows "e", "e+" or "e-": in "2e" the e is the
        // constant, and wants an operator before it.
        bool scaled = false;
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            std::size_t look = m_at + 1;
            if (look < m_text.size() && (m_text[look] == '+' || m_text[look] == '-')) {
                ++look;
            }
            if (look < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[look]))) {
                scaled = true;
                m_at = look;
                while (m_at < m_text.size() &&
                       std::isdigit(static_cast<unsigned char>(m_text[m_at]))) {
                    ++m_at;
                }
            }
        }
        std::string text(m_text.substr(start, m_at - start));
        const double value = std::strtod(text.c_str(), nullptr);
        if (!std::isfinite(value)) {
            failAt(start, "the number " + text + " is beyond the range of doubles");
        }
        Instruction instruction{Op::Number};
        instruction.number = m_program.numbers.size();
        m_program.code.push_back(instruction);
        m_program.numbers.push_back(value);
        m_program.numberTexts.push_back(std::move(text));
        const bool whole = !point && !scaled && digits <= 9;
        return {false, whole, whole ? static_cast<long>(value) : 0};
    }

    Value name(int depth) {
        const std::size_t start = m_at;
        while (m_at < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[m_at]))) {
            ++m_at;
        }
        const std::string_view word = m_text.substr(start, m_at - start);
        if (word == "x") {
            emit(Op::X);
            return {true, false, 0};
        }
        if (word == "pi") {
            emit(Op::Pi);
            return {};
        }
        if (word == "e") {
            emit(Op::E);
            return {};
        }
        for (const auto& [known, function] : kFunctions) {
            if (word != known) {
                continue;
            }
            if (!take('(')) {
                fail(std::string(word) + " needs its argument in parentheses");
            }
            const std::size_t open = m_at - 1;
            const Value argument = expression(depth + 1);
            if (!take(')')) {
                failAt(open, "this '(' is not closed");
            }
            Instruction call{Op::Call};
            call.function = function;
            m_program.code.push_back(call);
            return {argument.dependsOnX, false, 0};
        }
        failAt(start, "unknown name \"" + std::string(word) +
                          "\" (a formula knows x, pi, e, exp, log, sqrt, sin, cos, tan, "
                          "atan, sinh, cosh)");
    }

    static Value combine(const Value& a, const Value& b) {
        return {a.dependsOnX || b.dependsOnX, false, 0};
    }

    std::string_view m_text;
    Formula::Program& m_program;
    std::size_t m_at = 0;
};

// The derivative rules, one number type at a time: Arithmetic<double> and Arithmetic<Ball>
// give the same operations their own way.
template <typename T> struct Arithmetic;

template <> struct Arithmetic<double> {
    double constant(const Formula::Program& p, std::size_t i) const { return p.numbers[i]; }
    double x(double value) const { return value; }
    static double pi() { return M_PI; }
    static double e() { return M_E; }
    static double zero() { return 0.0; }
    static double one() { return 1.0; }
    static double add(double a, double b) { return a + b; }
    static double sub(double a, double b) { return a - b; }
    static double mul(double a, double b) { return a * b; }
    static double div(double a, double b) { return a / b; }
    static double neg(double a) { return -a; }
    static double powWhole(double a, long n) { return std::pow(a, static_cast<double>(n)); }
    static double pow(double a, double b) { return std::pow(a, b); }
    static double apply(Function f, double a) {
        switch (f) {
        case Function::Exp:
            return std::exp(a);
        case Function::Log:
            return std::log(a);
        case Function::Sqrt:
            return std::sqrt(a);
        case Function::Sin:
            return std::sin(a);
        case Function::Cos:
            return std::cos(a);
        case Function::Tan:
            return std::tan(a);
        case Function::Atan:
            return std::atan(a);
        case Function::Sinh:
            return std::sinh(a);
        case Function::Cosh:
            return std::cosh(a);
        }
        return NAN;
    }
};

template <> struct Arithmetic<Ball> {
    long prec;
    Ball constant(const Formula::Program& p, std::size_t i) const {
        Ball b;
        arb_set_str(b.get(), p.numberTexts[i].c_str(), prec);
        return b;
    }
    static Ball x(const Ball& value) { return value; }
    Ball pi() const {
        Ball b;
        arb_const_pi(b.get(), prec);
        return b;
    }
    Ball e() const {
        Ball b;
        arb_const_e(b.get(), prec);
        return b;
    }
    static Ball zero() { return Ball(0.0); }
    static Ball one() { return Ball(1.0); }
    Ball add(const Ball& a, const Ball& b) const {
        Ball r;
        arb_add(r.get(), a.get(), b.get(), prec);
        return r;
    }
    Ball sub(const Ball& a, const Ball& b) const {
        Ball r;
        arb_sub(r.get(), a.get(), b.get(), prec);
        return r;
    }
    Ball mul(const Ball& a, const Ball& b) const {
        Ball r;
        arb_mul(r.get(), a.get(), b.get(), prec);
        return r;
    }
    Ball div(const Ball& a, const Ball& b) const {
        Ball r;
        arb_div(r.get(), a.get(), b.get(), prec);
        return r;
    }
    static Ball neg(const Ball& a) {
        Ball r;
        arb_neg(r.get(), a.get());
        return r;
    }
    Ball powWhole(const Ball& a, long n) const {
        Ball r;
        if (n >= 0) {
            arb_pow_ui(r.get(), a.get(), static_cast<ulong>(n), prec);
        } else {
            arb_pow_ui(r.get(), a.get(), static_cast<ulong>(-n), prec);
            arb_inv(r.get(), r.get(), prec);
        }
        return r;
    }
    Ball pow(const Ball& a, const Ball& b) const {
        Ball r;
        arb_pow(r.get(), a.get(), b.get(), prec);
        return r;
    }
    Ball apply(Function f, const Ball& a) const {
        Ball r;
        switch (f) {
        case Function::Exp:
            arb_exp(r.get(), a.get(), prec);
            break;
        case Function::Log:
            arb_log(r.get(), a.get(), prec);
            break;
        case Function::Sqrt:
            arb_sqrt(r.get(), a.get(), prec);
            break;
        case Function::Sin:
            arb_sin(r.get(), a.get(), prec);
            break;
        case Function::Cos:
            arb_cos(r.get(), a.get(), prec);
            break;
        case Function::Tan:
            arb_tan(r.get(), a.get(), prec);
            break;
        case Function::Atan:
            arb_atan(r.get(), a.get(), prec);
            break;
        case Function::Sinh:
            arb_sinh(r.get(), a.get(), prec);
            break;
        case Function::Cosh:
            arb_cosh(r.get(), a.get(), prec);
            break;
        }
        return r;
    }
};

// f'(a) for the functions, from a and f(a).
template <typename T> T outerSlope(const Arithmetic<T>& m, Function f, const T& a, const T& fa) {
    switch (f) {
    case Function::Exp:
        return fa;
    case Function::Log:
        return m.div(m.one(), a);
    case Function::Sqrt:
        return m.div(m.one(), m.add(fa, fa));
    case Function::Sin:
        return m.apply(Function::Cos, a);
    case Function::Cos:
        return m.neg(m.apply(Function::Sin, a));
    case Function::Tan:
        return m.add(m.one(), m.mul(fa, fa));
    case Function::Atan:
        return m.div(m.one(), m.add(m.one(), m.mul(a, a)));
    case Function::Sinh:
        return m.apply(Function::Cosh, a);
    case Function::Cosh:
        return m.apply(Function::Sinh, a);
    }
    return m.zero();
}

// a^b with its slope: a whole exponent by powers (defined for any base), a constant one as
// a^b with slope b a^(b-1) a', and one that depends on x as exp(b ln a).
template <typename T>
Jet<T> power(const Arithmetic<T>& m, const Instruction& in, const Jet<T>& a, const Jet<T>& b) {
    if (in.constantExponent && in.wholeExponent) {
        const long n = in.whole;
        if (n == 0) {
            return {m.one(), m.zero()};
        }
        const T below = m.powWhole(a.value, n - 1);
        return {m.mul(below, a.value), m.mul(m.mul(b.value, below), a.slope)};
    }
    const T value = m.pow(a.value, b.value);
    if (in.constantExponent) {
        return {value, m.mul(m.mul(b.value, m.div(value, a.value)), a.slope)};
    }
    const T log = m.apply(Function::Log, a.value);
    const T rate = m.add(m.mul(b.slope, log), m.mul(b.value, m.div(a.slope, a.value)));
    return {value, m.mul(value, rate)};
}

template <typename T> Jet<T> run(const Formula::Program& p, const Arithmetic<T>& m, const T& x) {
    std::vector<Jet<T>> stack;
    stack.reserve(p.code.size());
    const auto pop = [&stack] {
        Jet<T> top = std::move(stack.back());
        stack.pop_back();
        return top;
    };
    for (const Instruction& in : p.code) {
        switch (in.op) {
        case Op::Number:
            stack.push_back({m.constant(p, in.number), m.zero()});
            break;
        case Op::X:
            stack.push_back({m.x(x), m.one()});
            break;
        case Op::Pi:
            stack.push_back({m.pi(), m.zero()});
            break;
        case Op::E:
            stack.push_back({m.e(), m.zero()});
            break;
        case Op::Neg: {
            Jet<T> a = pop();
            stack.push_back({m.neg(a.value), m.neg(a.slope)});
            break;
        }
        case Op::Call: {
            Jet<T> a = pop();
            T value = m.apply(in.function, a.value);
            T slope = m.mul(outerSlope(m, in.function, a.value, value), a.slope);
            stack.push_back({std::move(value), std::move(slope)});
            break;
        }
        default: {
            const Jet<T> b = pop();
            const Jet<T> a = pop();
            switch (in.op) {
            case Op::Add:
                stack.push_back({m.add(a.value, b.value), m.add(a.slope, b.slope)});
                break;
            case Op::Sub:
                stack.push_back({m.sub(a.value, b.value), m.sub(a.slope, b.slope)});
                break;
            case Op::Mul:
                stack.push_back({m.mul(a.value, b.value),
                                 m.add(m.mul(a.slope, b.value), m.mul(a.value, b.slope))});
                break;
            case Op::Div: {
                T q = m.div(a.value, b.value);
                T slope = m.div(m.sub(a.slope, m.mul(q, b.slope)), b.value);
                stack.push_back({std::move(q), std::move(slope)});
                break;
            }
            default:
                stack.push_back(power(m, in, a, b));
                break;
            }
        }
        }
    }
    return pop();
}

} // namespace

Formula Formula::parse(std::string_view text) {
    auto program = std::make_shared<Program>();
    Parser(text, *program).parse();
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    program->text = std::string(text.substr(first, last - first + 1));
    Formula formula;
    formula.m_program = std::move(program);
    return formula;
}

const std::string& Formula::text() const {
    return m_program->text;
}

Jet<double> Formula::at(double x) const {
    return run(*m_program, Arithmetic<double>{}, x);
}

void Formula::at(const Ball& x, long prec, Jet<Ball>& out) const {
    out = run(*m_program, Arithmetic<Ball>{prec}, x);
}

} // namespace veltrane::detail
