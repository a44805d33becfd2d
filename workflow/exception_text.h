// The text an entry point shows for an exception that reached it, so that none escapes to
// the window or ends a batch.
#pragma once

#include <string>

// "Out of memory" for std::bad_alloc, what() for other exceptions, "Unknown error" else.
// Call it inside a catch block only; it never throws.
std::string exceptionText() noexcept;
