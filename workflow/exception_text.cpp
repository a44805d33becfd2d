// Exception texts: the short ones fit a string's own buffer, so making them cannot fail
// when memory has run out.
#include "workflow/exception_text.h"

#include <exception>
#include <new>

std::string exceptionText() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& e) {
        try {
            return e.what();
        } catch (...) {
            return "Out of memory";
        }
    } catch (...) {
        return "Unknown error";
    }
}
