#pragma once

// Defaults for the sanitizers of a sanitizer build, included once by each test
// program's main: a test program run by hand behaves as under ctest.

extern "C" {

// The web engine's own code frees some objects with a mismatched size; that is
// not ours to fix, and it would end every web-engine test at its teardown.
const char* __asan_default_options()
{
    return "detect_leaks=1:new_delete_type_mismatch=0";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

// Allocations that the toolkit and system libraries keep for the life of the
// process; leaks of the program's own code are still reported.
const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n"
           "leak:libQt6Gui\n"
           "leak:libQt6Core\n"
           "leak:libQt6Widgets\n"
           "leak:libQt6WebEngineCore\n"
           "leak:libdbus\n"
           "leak:libglib\n"
           "leak:libgobject\n"
           "leak:libgio\n"
           "leak:libEGL\n"
           "leak:libGLX\n"
           "leak:libcurl\n"
           "leak:libcrypto\n"
           "leak:libssl\n";
}

}  // extern "C"
