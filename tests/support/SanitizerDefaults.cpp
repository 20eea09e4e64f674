// Sanitizer settings baked into every executable of a sanitized build, so that test binaries and
// the programs the tests start behave alike without any environment.
extern "C" {

const char* __asan_default_options() { return "detect_leaks=1:halt_on_error=1"; }

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

// One-time allocations of the libraries we load: type systems, caches and thread pools that live
// as long as the process.
const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\n"
           "leak:libgio-2.0.so\n"
           "leak:libvips.so\n"
           "leak:libfontconfig.so\n"
           "leak:libpoppler.so\n"
           // libx265 keeps an allocation of its encoder set-up past x265_encoder_close.
           "leak:libx265.so\n";
}
}
