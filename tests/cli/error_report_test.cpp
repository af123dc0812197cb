// Which error ends a command with which status and line, one row per kind of error, including
// those no run of the program provokes at will (memory running out, a foreign exception).
#include "ErrorReport.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <veltrane/classic/Errors.h>
#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/ExitStatus.h>

namespace veltrane::cli {
namespace {

struct Case {
    const char* name;
    std::function<void()> raise;
    int status;
    const char* line; // what standard error gets
    bool keepsOutput;
};

const Case kCases[] = {
    {"refused value", [] { throw classic::RefusedValue("C must be >0 and <1"); }, 2,
     "C must be >0 and <1\n", true},
    {"conversion", [] { throw classic::ConversionError(classic::Field::C, "abc", false); }, 2,
     "veltrane: type mismatch: the text \"abc\" of field C is not a number\n", true},
    {"file", [] { throw process::FileError("cannot read x: No such file"); }, 2,
     "veltrane: cannot read x: No such file\n", true},
    {"break points", [] { throw BreakPointError("break point 1 (2) must be below 1"); }, 2,
     "veltrane: break point 1 (2) must be below 1\n", true},
    {"run time", [] { throw RuntimeError(ErrorKind::Overflow, "ln 0"); }, 3,
     "veltrane: overflow: ln 0\n", true},
    {"subscript", [] { throw classic::SubscriptError("graph index 4"); }, 3,
     "veltrane: subscript out of range: graph index 4\n", true},
    {"read", [] { throw process::ReadError("cannot read y: Input/output error"); }, 3,
     "veltrane: cannot read y: Input/output error\n", true},
    {"write", [] { throw process::WriteError(ENOSPC); }, 3,
     "veltrane: write error: No space left on device\n", false},
    {"cancelled", [] { throw Cancelled(); }, 130, "", false},
    {"memory", [] { throw std::bad_alloc(); }, 3, "veltrane: not enough memory\n", false},
    {"foreign", [] { throw std::logic_error("vector::at"); }, 3, "veltrane: vector::at\n", false},
};

TEST(ErrorReport, EachErrorEndsACommandAsItsKindSays) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::exception_ptr error;
        try {
            c.raise();
        } catch (...) {
            error = std::current_exception();
        }
        ASSERT_TRUE(error);
        const ErrorReport report = reportOf(error);
        EXPECT_EQ(report.status, c.status);
        EXPECT_EQ(report.line(), c.line);
        EXPECT_EQ(report.keepsOutput, c.keepsOutput);
    }
}

} // namespace
} // namespace veltrane::cli
