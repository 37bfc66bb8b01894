#pragma once

// Defaults for the sanitizers of a sanitizer build, included once by each test
// program's main: a test program run by hand behaves as under ctest.

extern "C" {

// The web engine's own code frees some objects with a mismatched size; that is
// not ours to fix, and it would end every web-engine test at its teardown.
// Leak stacks are unwound in full (Qt and the system libraries are built
// without frame pointers), so the suppressions below can name a frame deep in
// the stack instead of a whole library.
const char* __asan_default_options()
{
    return "detect_leaks=1:new_delete_type_mismatch=0:fast_unwind_on_malloc=0:malloc_context_size=40";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

// What the toolkit and the system keep for the life of the process. Each line
// names the frame the allocations come from, so a leak of ours is reported
// even when Qt's event loop and signal dispatch are on its stack
// (tests/sanitizers shows it).
//
// - FcInitLoadConfigAndFonts: fontconfig's configuration, read once when Qt
//   first needs a font.
// - libQt6WebEngineCore.so: Chromium inside the web engine, on its own threads
//   and its message pump. Its functions are not exported, so its frames carry
//   no name to match; the library is named for them alone. A leak of ours in
//   a slot the web engine calls directly stays hidden by it.
const char* __lsan_default_suppressions()
{
    return "leak:FcInitLoadConfigAndFonts\n"
           "leak:libQt6WebEngineCore.so\n";
}

}  // extern "C"
