#include "ErrorReport.h"

#include <new>
#include <veltrane/classic/Errors.h>
#include <veltrane/errors.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/ExitStatus.h>

namespace veltrane::cli {
using namespace veltrane::process;

std::string ErrorReport::line() const {
    if (what.empty()) {
        return {};
    }
    return (bare ? "" : "veltrane: ") + what + '\n';
}

ErrorReport reportOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const WriteError& e) {
        return {kExitRunTime, e.what(), false, false};
    } catch (const Cancelled&) {
        return {kExitInterrupted, {}, false, false}; // as for any signal that ends a run
    } catch (const classic::RefusedValue& e) {
        return {kExitUsage, e.what(), true, true};
    } catch (const InputError& e) {
        return {kExitUsage, e.what(), false, true};
    } catch (const Error& e) {
        return {kExitRunTime, e.what(), false, true};
    } catch (const std::bad_alloc&) {
        return {kExitRunTime, "not enough memory", false, false};
    } catch (const std::exception& e) {
        // Unwound to here, a file being written has been removed.
        return {kExitRunTime, e.what(), false, false};
    }
}

} // namespace veltrane::cli
